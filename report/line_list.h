#pragma once
// Line lists: ordered 8-bit text lines loaded from a built-in resource.

#include <string>
#include <string_view>
#include <vector>

namespace quillar {

using LineList = std::vector<std::string>;

// Splits bytes into lines at CR LF, a lone CR or a lone LF, without the line
// ends. A last line without a line end counts as a line; a line end at the very
// end opens no further line. Any byte value is kept, NUL included.
LineList LoadLineList(std::string_view bytes);

} // namespace quillar
