#pragma once
// The tester's 8-bit character code turned into HTML text.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillar {

// One entry per byte value: the five-character numeric reference ("&#252", no
// semicolon) for the 44 mapped bytes, nullptr for every other byte.
using CharTable = std::array<const char*, 256>;

extern const CharTable CharTableCentral;
extern const CharTable CharTableNordic;

// Appends the HTML text of one device byte: the table's reference, nothing for
// CR, "<br>" for LF, otherwise the byte itself. Cannot fail.
void AppendDeviceChar(std::uint8_t code, const CharTable& table, std::string& fragment);

// Translates a chunk read from the port. The table is chosen per byte from the
// model (exact match) and the language; a model other than "KD318", "KD520" and
// "QM" gives an empty fragment.
std::string TranslateDeviceBytes(std::string_view bytes, std::string_view deviceModel,
                                 std::int32_t currentLanguage);

} // namespace quillar
