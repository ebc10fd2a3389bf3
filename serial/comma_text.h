#pragma once
// The comma text of a port list: how discovery writes the machine's ports and
// how the shell reads them back, one rule both ways.

#include <string>
#include <string_view>
#include <vector>

namespace quillar {

// Joins names by the comma-text rule: a name with a blank, a control character,
// a comma or a double quote is quoted (inner quotes doubled); a single empty
// name gives two double quotes; an empty list gives the empty string.
std::string JoinCommaText(const std::vector<std::string>& names);

// Reads a comma text into its names, the inverse of JoinCommaText: blanks and
// control characters around a name are skipped; a name that starts with a
// double quote runs to its closing quote ("" inside is one quote, a missing
// close runs to the end), any other runs to the next comma or blank; a comma
// starts the next name (",," gives an empty one, a comma that ends the text a
// last empty one). Blanks alone between two names also separate them. The
// empty text, or one of blanks only, holds no names.
std::vector<std::string> SplitCommaText(std::string_view text);

} // namespace quillar
