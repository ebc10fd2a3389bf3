#pragma once
// Whole-file reads and writes on descriptors, shared by the configuration and
// the report archive. No Qt here.

#include <string>
#include <string_view>
#include <sys/types.h>

namespace quillar {

// Appends everything left to read from fd to text; 0, or the errno of the
// failed read.
int ReadRest(int fd, std::string& text);

// Writes bytes to a new file made from temporaryPattern (mkstemp's, in the
// target's folder) with the given mode, syncs it and renames it over target:
// a reader never finds half a file under target. 0, or the errno of the
// failed step (the temporary file is gone then).
int ReplaceFile(const std::string& target, std::string temporaryPattern, std::string_view bytes,
                mode_t mode);

} // namespace quillar
