#pragma once
// Label fix-ups and translations applied to the accumulated report body.

#include "line_list.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quillar {

// Replaces every occurrence of search, left to right without overlaps; the
// inserted replacement is never searched again. An empty value or search text
// gives the value unchanged.
std::string SubstituteAll(std::string_view value, std::string_view search,
                          std::string_view replacement);

// The language step alone: for languages 1 to 3 every English text of
// languageTable (groups of 5 lines) is replaced by its Chinese, Japanese or
// Korean line, group by group; any other language gives text unchanged.
std::string TranslatePhrases(std::string_view text, const LineList& languageTable,
                             std::int32_t currentLanguage);

// Rewrites receivedText in place: "Sto-red" -> "Stored", the colon groups of
// colonTable (groups of 3 lines), then for languages 1 to 3 the groups of
// languageTable (groups of 5 lines). Cannot fail.
void ApplyPhraseTables(std::string& receivedText, const LineList& colonTable,
                       const LineList& languageTable, std::int32_t currentLanguage);

} // namespace quillar
