#include "phrase_tables.h"

namespace quillar {

namespace {

// Replaces search by replacement where the replacement extends the search text
// (a label gaining its colon): an occurrence already followed by that extension
// is kept as it is, so running over the accumulated text again adds nothing.
std::string ExtendAll(std::string_view value, std::string_view search,
                      std::string_view replacement) {
    const std::string_view extension = replacement.substr(search.size());
    std::string result;
    result.reserve(value.size() + value.size() / 16);
    std::size_t from = 0;
    for (std::size_t at = value.find(search); at != std::string_view::npos;
         at = value.find(search, from)) {
        const std::size_t after = at + search.size();
        result.append(value, from, at - from);
        if (value.substr(after).starts_with(extension)) {
            result.append(search);
        } else {
            result.append(replacement);
        }
        from = after;
    }
    result.append(value, from);
    return result;
}

} // namespace

std::string SubstituteAll(std::string_view value, std::string_view search,
                          std::string_view replacement) {
    if (value.empty() || search.empty()) {
        return std::string(value);
    }
    std::string result;
    result.reserve(value.size());
    std::size_t from = 0;
    for (std::size_t at = value.find(search); at != std::string_view::npos;
         at = value.find(search, from)) {
        result.append(value, from, at - from);
        result.append(replacement);
        from = at + search.size();
    }
    result.append(value, from);
    return result;
}

std::string TranslatePhrases(std::string_view text, const LineList& languageTable,
                             std::int32_t currentLanguage) {
    std::string result(text);
    // Groups of five lines: English, then Chinese, Japanese, Korean, an unused
    // line. Only the three CJK languages are translated on the PC.
    if (currentLanguage >= 1 && currentLanguage <= 3) {
        const auto column = static_cast<std::size_t>(currentLanguage);
        for (std::size_t g = 0; g + 5 <= languageTable.size(); g += 5) {
            result = SubstituteAll(result, languageTable[g], languageTable[g + column]);
        }
    }
    return result;
}

void ApplyPhraseTables(std::string& receivedText, const LineList& colonTable,
                       const LineList& languageTable, std::int32_t currentLanguage) {
    // The tester prints this word with a stray hyphen.
    std::string text = SubstituteAll(receivedText, "Sto-red", "Stored");

    // Groups of three lines: search, replacement, an unused line. An
    // incomplete last group is ignored.
    for (std::size_t g = 0; g + 3 <= colonTable.size(); g += 3) {
        const std::string& search = colonTable[g];
        const std::string& replacement = colonTable[g + 1];
        if (!search.empty() && replacement.starts_with(search)) {
            text = ExtendAll(text, search, replacement);
        } else {
            text = SubstituteAll(text, search, replacement);
        }
    }

    if (currentLanguage >= 1 && currentLanguage <= 3) {
        text = TranslatePhrases(text, languageTable, currentLanguage);
    }
    receivedText = std::move(text);
}

} // namespace quillar
