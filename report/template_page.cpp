#include "phrase_tables.h"
#include "report_pages.h"

#include <charconv>
#include <optional>
#include <utility>
#include <vector>

namespace quillar {

namespace {

constexpr std::string_view Break = "<br>";

// Spaces and control characters go; bytes from 0x80 up are UTF-8 or device
// letters and stay.
std::string_view Trim(std::string_view text) {
    auto blank = [](char c) { return static_cast<std::uint8_t>(c) <= 0x20; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The trimmed text before the first line break; empty while the line has not
// ended yet, so a half-received line shows nothing until its break arrives.
std::string_view LineValue(std::string_view text) {
    const std::size_t end = text.find(Break);
    return end == std::string_view::npos ? std::string_view{} : Trim(text.substr(0, end));
}

// Where a label starts: its last occurrence, so that a retest or a second
// battery printed before Clear shows its own figures, not the first one's.
// With wordStart only an occurrence that does not continue a word counts
// ("loaded" must not hit inside "Unloaded").
std::size_t FindLabel(std::string_view received, std::string_view label, bool wordStart) {
    std::size_t at = received.rfind(label);
    if (wordStart) {
        auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
        while (at != std::string_view::npos && at > 0 && letter(received[at - 1])) {
            at = received.rfind(label, at - 1);
        }
    }
    return at;
}

// The text after a label, less the one character that follows it (a blank or
// the colon added by the phrase tables). None when the label is missing.
std::optional<std::string_view> AfterLabel(std::string_view received, std::string_view label,
                                           bool wordStart = false) {
    const std::size_t at = FindLabel(received, label, wordStart);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t start = at + label.size() + 1;
    return start <= received.size() ? received.substr(start) : std::string_view{};
}

std::optional<std::int32_t> ParseWholeNumber(std::string_view text) {
    // from_chars takes a minus sign but no plus sign.
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('-')) {
            return std::nullopt;
        }
    }
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

class TemplateFill {
public:
    TemplateFill(std::string page, std::string_view received, const LineList* languageTable,
                 std::int32_t language)
        : page_(std::move(page)), received_(received), languageTable_(languageTable),
          language_(language) {}

    // The form a label has in the received text. With Chinese, Japanese or
    // Korean the phrase tables have translated some labels ("Rated:" reads
    // "額定:", "Internal R=" reads "R="): the label goes through the same
    // translation, so that its value is found either way.
    std::string Local(std::string_view label) const {
        if (languageTable_ == nullptr) {
            return std::string(label);
        }
        return TranslatePhrases(label, *languageTable_, language_);
    }

    // Values are only recorded here and go into the template in one pass at the
    // end: the tester's text may itself hold placeholder marks, and those must
    // never be expanded again (each field would multiply the page otherwise).
    // The first value put for a placeholder is the one that stays.
    void Put(std::string_view placeholder, std::string_view value) {
        for (const auto& entry : values_) {
            if (entry.first == placeholder) {
                return;
            }
        }
        values_.emplace_back(placeholder, std::string(value));
    }

    // The value on the label's own line.
    void Line(std::string_view label, std::string_view placeholder) {
        if (const auto rest = AfterLabel(received_, Local(label))) {
            Put(placeholder, LineValue(*rest));
        }
    }

    // The tester prints "Healthy: 100% 505CCA": the value after the percentage.
    void AfterPercent(std::string_view label, std::string_view placeholder) {
        if (auto rest = AfterLabel(received_, Local(label))) {
            if (const std::size_t percent = rest->find('%'); percent != std::string_view::npos) {
                rest->remove_prefix(percent + 1);
            }
            Put(placeholder, LineValue(*rest));
        }
    }

    // The percentage itself, and the state image for its tens.
    void Percent(std::string_view label, std::string_view placeholder,
                 std::string_view imagePlaceholder, const std::string& imageDir) {
        const auto rest = AfterLabel(received_, Local(label));
        if (!rest) {
            return;
        }
        const std::size_t percent = rest->find('%');
        const std::string_view value = percent == std::string_view::npos
                                           ? std::string_view{}
                                           : Trim(rest->substr(0, percent + 1));
        Put(placeholder, value);

        std::string digits;
        for (const char c : value) {
            if (c != '%') {
                digits += c;
            }
        }
        if (const auto number = ParseWholeNumber(digits)) {
            Put(imagePlaceholder, "file://" + imageDir + std::to_string(*number / 10) + ".png");
        }
    }

    // A voltage printed without its unit gets one.
    void Volts(std::string_view label, std::string_view placeholder, bool wordStart = false) {
        if (const auto rest = AfterLabel(received_, Local(label), wordStart)) {
            std::string value(LineValue(*rest));
            if (!value.empty() && value.back() != 'v' && value.back() != 'V') {
                value += 'V';
            }
            Put(placeholder, value);
        }
    }

    // The tester prints the verdict in front of "BATTERY" on the same line
    // ("GOOD BATTERY"). With Chinese, Japanese or Korean the phrase tables
    // have translated such lines whole ("GOOD BATTERY" reads "電池良好"): a
    // translated verdict counts where it ends its line, and the line is the
    // value. The verdict of the latest battery is the one shown.
    void BatteryVerdict() {
        constexpr std::string_view Word = "BATTERY";
        std::size_t best = received_.rfind(Word);
        std::string_view value;
        if (best != std::string_view::npos) {
            value = Trim(LineBefore(best));
        }
        for (const std::string& phrase : TranslatedVerdicts(Word)) {
            const std::size_t at = LastLineEnding(phrase);
            if (at != std::string_view::npos && (best == std::string_view::npos || at > best)) {
                best = at;
                value = Trim(LineBefore(at + phrase.size()));
            }
        }
        if (best != std::string_view::npos) {
            Put("<!--DCCSJG-->", value);
        }
    }

    // The cranking voltage stands alone on the line below its label.
    void NextLine(std::string_view label, std::string_view placeholder) {
        const std::size_t at = received_.rfind(Local(label));
        if (at == std::string_view::npos) {
            return;
        }
        const std::size_t lineEnd = received_.find(Break, at);
        // Until the label's line has ended there is no next line: show nothing,
        // like the fields whose own line is still arriving.
        const std::string_view next = lineEnd == std::string_view::npos
                                          ? std::string_view{}
                                          : LineValue(received_.substr(lineEnd + Break.size()));
        Put(placeholder, next);
    }

    // The template with every recorded placeholder replaced, left to right;
    // inserted values are never searched again.
    std::string Take() const {
        constexpr std::string_view Open = "<!--";
        constexpr std::string_view Close = "-->";
        std::string page;
        page.reserve(page_.size() + 256);
        const std::string_view text = page_;
        std::size_t done = 0;
        for (std::size_t at = text.find(Open); at != std::string_view::npos;) {
            const std::size_t close = text.find(Close, at + Open.size());
            if (close == std::string_view::npos) {
                break;
            }
            const std::size_t end = close + Close.size();
            const std::string_view mark = text.substr(at, end - at);
            const std::string* value = nullptr;
            for (const auto& entry : values_) {
                if (entry.first == mark) {
                    value = &entry.second;
                    break;
                }
            }
            if (value != nullptr) {
                page.append(text.substr(done, at - done));
                page.append(*value);
                done = end;
                at = text.find(Open, end);
            } else {
                at = text.find(Open, at + 1);
            }
        }
        page.append(text.substr(done));
        return page;
    }

private:
    // The received text from the start of the line that holds position end, up to end.
    std::string_view LineBefore(std::size_t end) const {
        std::string_view before = received_.substr(0, end);
        if (const std::size_t line = before.rfind(Break); line != std::string_view::npos) {
            before.remove_prefix(line + Break.size());
        }
        return before;
    }

    // The translations of the table's phrases that hold word, for the chosen
    // language; none for a language that is not translated.
    std::vector<std::string> TranslatedVerdicts(std::string_view word) const {
        std::vector<std::string> phrases;
        if (languageTable_ == nullptr || language_ < 1 || language_ > 3) {
            return phrases;
        }
        const LineList& table = *languageTable_;
        for (std::size_t g = 0; g + 5 <= table.size(); g += 5) {
            const std::string& translated = table[g + static_cast<std::size_t>(language_)];
            if (table[g].find(word) != std::string::npos && !translated.empty() &&
                translated != table[g]) {
                phrases.push_back(translated);
            }
        }
        return phrases;
    }

    // The last occurrence of phrase after which only blanks follow up to a
    // line break ("電池良好,請充電" is another verdict than "電池良好").
    std::size_t LastLineEnding(std::string_view phrase) const {
        for (std::size_t at = received_.rfind(phrase); at != std::string_view::npos;
             at = at == 0 ? std::string_view::npos : received_.rfind(phrase, at - 1)) {
            const std::string_view rest = received_.substr(at + phrase.size());
            const std::size_t end = rest.find(Break);
            if (end != std::string_view::npos && Trim(rest.substr(0, end)).empty()) {
                return at;
            }
        }
        return std::string_view::npos;
    }

    std::string page_;
    std::string_view received_;
    const LineList* languageTable_;
    std::int32_t language_;
    std::vector<std::pair<std::string_view, std::string>> values_;
};

} // namespace

std::string BuildTemplatePage(const PageInputs& in) {
    std::string text;
    if (in.templateLines != nullptr) {
        for (const std::string& line : *in.templateLines) {
            text += line;
            text += "\r\n";
        }
    }
    TemplateFill fill(std::move(text), in.receivedText, in.languageTable, in.currentLanguage);
    fill.Put("<!--RQSJ-->", in.dateText);
    fill.BatteryVerdict();
    fill.Line("Select Input:", "<!--DCLX-->");
    fill.Line("Rated:", "<!--RCCA-->");
    fill.AfterPercent("Healthy:", "<!--MCCA-->");
    fill.AfterPercent("Charge:", "<!--DCDY-->");
    fill.Line("Internal R=", "<!--NBDZ-->");
    const std::string& imageDir = in.stateImageDir.empty() ? in.executableDir : in.stateImageDir;
    fill.Percent("Charge:", "<!--CDZT-->", "<!--ZT1-->", imageDir);
    fill.Percent("Healthy:", "<!--JKZT-->", "<!--ZT2-->", imageDir);
    fill.Line("Cranking Voltage", "<!--QDCSJG-->");
    fill.NextLine("Cranking Voltage", "<!--QDDY-->");
    fill.Line("Cranking Time", "<!--QDSJ-->");
    fill.Line("CHARGING", "<!--CDCSJG-->");
    // Lower case on purpose: the tester prints "loaded 13.70". Only a word start
    // counts, or an "Unloaded" line printed first would fill both fields.
    fill.Volts("loaded", "<!--YZDY-->", true);
    fill.Volts("Unloaded", "<!--KZDY-->");
    fill.Line("Ripple", "<!--WBDY-->");
    return fill.Take();
}

} // namespace quillar
