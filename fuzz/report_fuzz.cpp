// Feeds arbitrary tester bytes through the report composition the way the poll
// cycle does: chunk by chunk, translate, append, rewrite the whole text with
// the phrase tables, rebuild the page. The shipped resources are used, so the
// labels and placeholders the fuzzer finds are the real ones.
//
// Input layout: byte 0 picks the model, byte 1 the language, byte 2 the chunk
// size, byte 3 holds flags (logo present, language change halfway); the rest
// is what the tester sends.

#include "report/builtin_resources.h"
#include "report/device_chars.h"
#include "report/line_list.h"
#include "report/phrase_tables.h"
#include "report/report_composer.h"
#include "report/report_pages.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>

namespace quillar {
namespace {

// Bounds the ticks per input: the poll cycle rewrites the whole text at each
// tick, so one tick per byte of a 64 KB input would be quadratic by design and
// hide the blow-ups inside a single tick that the timeout is there to catch.
constexpr std::size_t MaxTicks = 32;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "report_fuzz: invariant broken: %s\n", what);
    std::abort();
}

void Check(bool ok, const char* what) {
    if (!ok) {
        Fail(what);
    }
}

struct Resources {
    LineList colonTable;
    LineList languageTable;
    LineList templateLines;
    std::string templateHead; // the template up to its first placeholder
    std::string templateTail; // the template after its last placeholder
};

const Resources* Shared = nullptr;

Resources LoadResources() {
    Resources res;
    res.colonTable = LoadLineList(BuiltinResource("colonText"));
    res.languageTable = LoadLineList(BuiltinResource("utf8Text"));
    res.templateLines = LoadLineList(BuiltinResource("htmKD520"));
    std::string text;
    for (const std::string& line : res.templateLines) {
        text += line;
        text += "\r\n";
    }
    const std::size_t first = text.find("<!--");
    const std::size_t last = text.rfind("-->");
    if (first == std::string::npos || last == std::string::npos || first == 0) {
        std::fprintf(stderr, "report_fuzz: template without placeholders\n");
        std::exit(1);
    }
    res.templateHead = text.substr(0, first);
    res.templateTail = text.substr(last + 3);
    // Values go only between the first and the last placeholder; a head that
    // ends like the start of a comment, or a tail that starts like the end of
    // one, could let a put reach across and the checks below would not hold.
    const char headEnd = res.templateHead.back();
    if (headEnd == '<' || headEnd == '!' || headEnd == '-' ||
        (!res.templateTail.empty() &&
         (res.templateTail.front() == '-' || res.templateTail.front() == '>'))) {
        std::fprintf(stderr, "report_fuzz: template edges need another look\n");
        std::exit(1);
    }
    return res;
}

std::string_view ModelFor(std::uint8_t selector) {
    switch (selector & 3) {
    case 0:
        return "KD318";
    case 1:
        return "KD520";
    case 2:
        return "QM";
    default:
        break;
    }
    // Near misses: the model is matched exactly.
    static constexpr std::string_view Unknown[] = {"", "kd520", "KD318 ", {"QM\0", 3}};
    return Unknown[(selector >> 2) & 3];
}

bool KnownModel(std::string_view model) {
    return model == "KD318" || model == "KD520" || model == "QM";
}

std::int32_t LanguageFor(std::uint8_t selector) {
    if (selector < 0xF0) {
        return static_cast<std::int32_t>(selector % 14) - 1; // -1 .. 12
    }
    static constexpr std::int32_t Odd[] = {std::numeric_limits<std::int32_t>::min(),
                                           std::numeric_limits<std::int32_t>::max(),
                                           -2,
                                           13,
                                           256 + 1,
                                           -256 + 6};
    return Odd[(selector & 0x0F) % std::size(Odd)];
}

bool Translated(std::int32_t language) {
    return language >= 1 && language <= 3;
}

std::size_t CountOf(std::string_view text, std::string_view search) {
    std::size_t count = 0;
    for (std::size_t at = text.find(search); at != std::string_view::npos;
         at = text.find(search, at + search.size())) {
        ++count;
    }
    return count;
}

// After the phrase tables ran in a language that is not translated on the PC.
void CheckRewritten(const std::string& text, const Resources& res, std::int32_t language) {
    Check(text.find("Sto-red") == std::string::npos, "\"Sto-red\" left after the fix-up");
    for (std::size_t g = 0; g + 3 <= res.colonTable.size(); g += 3) {
        const std::string& label = res.colonTable[g];
        const std::string& withColon = res.colonTable[g + 1];
        if (label.empty() || !withColon.starts_with(label)) {
            continue;
        }
        Check(CountOf(text, label) == CountOf(text, withColon), "a label lacks its colon");
    }
    std::string again = text;
    ApplyPhraseTables(again, res.colonTable, res.languageTable, language);
    Check(again == text, "phrase tables changed their own result");
}

void CheckPage(const std::string& page, const PageInputs& in, bool logo, const Resources& res) {
    const std::string plain = std::string(PageHead).append(in.receivedText).append(PageFoot);
    if (in.deviceModel == "QM") {
        Check(page == plain, "QM page is not head, text, foot");
    } else if (in.deviceModel == "KD318") {
        if (!logo) {
            Check(page == plain, "KD318 page without logo differs from the plain page");
        } else {
            const std::string img = std::string(PageHead) + "<img src=\"file://" +
                                    in.executableDir + "logo.bmp\" ></br></br>";
            const std::string end = std::string(in.receivedText).append(PageFoot);
            Check(page.starts_with(img), "KD318 form does not open with the logo");
            Check(page.ends_with(end), "KD318 form does not end with the text and foot");
        }
    } else if (in.deviceModel == "KD520") {
        Check(page.starts_with(res.templateHead), "KD520 page lost the template's head");
        Check(page.ends_with(res.templateTail), "KD520 page lost the template's tail");
    } else {
        Check(page.empty(), "unknown model built a page");
    }
}

} // namespace
} // namespace quillar

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static const quillar::Resources resources = quillar::LoadResources();
    quillar::Shared = &resources;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillar;
    if (size < 4) {
        return 0;
    }
    const Resources& res = *Shared;
    const std::string_view model = ModelFor(data[0]);
    std::int32_t language = LanguageFor(data[1]);
    const std::size_t chosenChunk = static_cast<std::size_t>(data[2]) + 1;
    const bool logo = (data[3] & 1) != 0;
    const bool switchLanguage = (data[3] & 2) != 0;
    const std::int32_t laterLanguage = LanguageFor(static_cast<std::uint8_t>(data[3] >> 2));
    const std::string_view bytes(reinterpret_cast<const char*>(data + 4), size - 4);

    const std::size_t chunk = std::max(chosenChunk, (bytes.size() + MaxTicks - 1) / MaxTicks);
    const std::size_t ticks = (bytes.size() + chunk - 1) / chunk;

    PageInputs in;
    in.deviceModel = model;
    in.templateLines = &res.templateLines;
    in.languageTable = &res.languageTable;
    in.executableDir = "/opt/quillar/";
    in.dateText = "7 December 2026 09:05";
    in.fileExists = [logo](const std::string&) { return logo; };

    std::string received;
    std::string fragments; // every fragment, to compare with one translation
    for (std::size_t tick = 0; tick < ticks; ++tick) {
        if (switchLanguage && tick == ticks / 2) {
            language = laterLanguage;
        }
        const std::string_view part = bytes.substr(tick * chunk, chunk);
        const std::string fragment = TranslateDeviceBytes(part, model, language);
        Check(fragment.find('\r') == std::string::npos, "CR reached the fragment");
        Check(KnownModel(model) || fragment.empty(), "unknown model translated bytes");
        Check(!KnownModel(model) || CountOf(fragment, "<br>") >= CountOf(part, "\n"),
              "a line end was lost");
        fragments += fragment;

        // The read as the shell takes it: the same fragment, then the tables.
        const ReportSetting setting{model, language, &BuiltinReportTables()};
        AddRead(received, part, setting);
        if (!Translated(language)) {
            CheckRewritten(received, res, language);
        }

        in.currentLanguage = language;
        in.receivedText = received;
        CheckPage(ComposePage(received, setting, in), in, logo, res);
    }
    if (!switchLanguage) {
        // The translation keeps no state between reads.
        Check(fragments == TranslateDeviceBytes(bytes, model, language),
              "chunked translation differs from translating all at once");
    }
    return 0;
}
