#pragma once
// The report page of a recorded printout, built as the shell builds it after
// each read; shared by quillar-render and quillar-reprint. No Qt.

#include "render_options.h"

#include <string>

namespace quillar::render {

// Where the state images and the logo are by default: beside the program in
// a build tree or portable copy, share/quillar beside its bin folder when
// installed.
std::string DefaultImageDirectory();

// The page for printout (raw bytes), fed options.chunk bytes per read (0: at
// once), with its images in options.imageDir (else DefaultImageDirectory())
// and dateText on a KD520 page.
std::string BuildPrintoutPage(const RenderOptions& options, const std::string& printout,
                              const std::string& dateText);

} // namespace quillar::render
