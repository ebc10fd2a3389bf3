#include "device_chars.h"

#include "report/models.h"

#include <utility>

namespace quillar {

namespace {

struct Mapping {
    std::uint8_t code;
    const char* text;
};

// The 44 bytes the tester uses for accented letters and symbols. The two
// tables differ only at 0x86 and 0x9D, which are patched per table below.
constexpr Mapping CommonMappings[] = {
    {0x81, "&#252"}, {0x82, "&#233"}, {0x83, "&#226"}, {0x84, "&#228"}, {0x85, "&#224"},
    {0x86, nullptr}, {0x87, "&#231"}, {0x88, "&#322"}, {0x8A, "&#232"}, {0x8C, "&#238"},
    {0x8F, "&#197"}, {0x90, "&#201"}, {0x91, "&#230"}, {0x92, "&#198"}, {0x94, "&#246"},
    {0x97, "&#346"}, {0x98, "&#347"}, {0x99, "&#214"}, {0x9A, "&#220"}, {0x9B, "&#248"},
    {0x9D, nullptr}, {0xA0, "&#225"}, {0xA1, "&#237"}, {0xA2, "&#243"}, {0xA3, "&#250"},
    {0xA4, "&#260"}, {0xA5, "&#261"}, {0xA9, "&#281"}, {0xAB, "&#378"}, {0xAD, "&#351"},
    {0xB6, "&#194"}, {0xB8, "&#350"}, {0xBD, "&#379"}, {0xBE, "&#380"}, {0xC6, "&#258"},
    {0xC7, "&#259"}, {0xD7, "&#206"}, {0xDD, "&#354"}, {0xE0, "&#211"}, {0xE1, "&#223"},
    {0xE3, "&#323"}, {0xE4, "&#324"}, {0xEA, "&#937"}, {0xEE, "&#355"},
};

constexpr CharTable MakeTable(const char* at86, const char* at9D) {
    CharTable table{};
    for (const Mapping& m : CommonMappings) {
        table[m.code] = m.text;
    }
    table[0x86] = at86;
    table[0x9D] = at9D;
    return table;
}

} // namespace

// Central European letters: c acute and L stroke.
constinit const CharTable CharTableCentral = MakeTable("&#263", "&#321");
// Nordic letters: a ring and O slash.
constinit const CharTable CharTableNordic = MakeTable("&#229", "&#216");

void AppendDeviceChar(std::uint8_t code, const CharTable& table, std::string& fragment) {
    if (const char* text = table[code]) {
        fragment += text;
    } else if (code == 0x0D) {
        // The tester ends its lines with CR LF; the LF alone makes the break.
    } else if (code == 0x0A) {
        fragment += "<br>";
    } else {
        fragment += static_cast<char>(code);
    }
}

std::string TranslateDeviceBytes(std::string_view bytes, std::string_view deviceModel,
                                 std::int32_t currentLanguage) {
    // The table depends only on the model and the language, which cannot change
    // within one chunk, so it is chosen once for the whole chunk.
    const CharTable* table = nullptr;
    const std::optional<TesterModel> model = ParseModel(deviceModel);
    if (model == TesterModel::KD318) {
        table = currentLanguage == 6 ? &CharTableCentral : &CharTableNordic;
    } else if (model) {
        table = &CharTableCentral;
    }
    std::string fragment;
    if (table == nullptr) {
        return fragment;
    }
    fragment.reserve(bytes.size() + bytes.size() / 4);
    for (const char byte : bytes) {
        AppendDeviceChar(static_cast<std::uint8_t>(byte), *table, fragment);
    }
    return fragment;
}

} // namespace quillar
