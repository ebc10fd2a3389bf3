#include "report_pages.h"

#include <filesystem>
#include <system_error>

namespace quillar {

namespace {

struct FormField {
    const char* label;
    int spaces; // count of "&nbsp" between the label and its box
    const char* size;
};

struct FormLines {
    const char* title;
    FormField a, b, c, d;
};

constexpr FormLines EnglishForm = {"KD318 - Battery Test Result</br>",
                                   {"Company Name", 6, "40"},
                                   {"Technicians Name", 2, "40"},
                                   {"Vehicle Reg Number", 0, "40"},
                                   {"Date Tested", 7, "20"}};

// Danish, Norwegian, Polish and Romanian have their own form; every other
// language gets the English one.
const FormLines& FormLinesFor(std::int32_t language) {
    static constexpr FormLines Danish = {"KD318 - Batteri Test Resultat</br>",
                                         {"Firma navn", 6, "40"},
                                         {"Mekaniker navn", 2, "40"},
                                         {"Nummerplade nr", 2, "40"},
                                         {"Test dato", 7, "20"}};
    static constexpr FormLines Norwegian = {"KD318 - Batteritestresultat</br>",
                                            {"Firmanavn", 10, "40"},
                                            {"Mekanikers Navn", 4, "40"},
                                            {"Kjøretøyets Registreringsnummer", 0, "20"},
                                            {"Test Dato", 22, "20"}};
    static constexpr FormLines Polish = {"KD318 - Wyniki Testu</br>",
                                         {"Nazwa firmy", 8, "40"},
                                         {"Nazwisko technika", 2, "40"},
                                         {"Numer rejestracyjny", 0, "40"},
                                         {"Data badania", 7, "20"}};
    static constexpr FormLines Romanian = {"KD318 - Rezultatul Testului</br>",
                                           {"Numele companiei", 11, "40"},
                                           {"Numele tehnicianului", 7, "40"},
                                           {"Numărul de înmatriculare al vehiculului", 0, "20"},
                                           {"Data testării", 26, "20"}};
    switch (language) {
    case 4:
        return Danish;
    case 5:
        return Norwegian;
    case 6:
        return Polish;
    case 7:
        return Romanian;
    default:
        return EnglishForm;
    }
}

void AppendField(std::string& page, const FormField& field, char id, const char* lineEnd) {
    page += field.label;
    for (int i = 0; i < field.spaces; ++i) {
        page += "&nbsp";
    }
    page += " <input id=\"";
    page += id;
    page += "\" size=\"";
    page += field.size;
    page += "\" style=\"border-style:solid; border-width:1px;\">";
    page += lineEnd;
}

bool LogoExists(const PageInputs& in, const std::string& path) {
    if (in.fileExists) {
        return in.fileExists(path);
    }
    // An unreadable directory counts as no logo, like a missing file.
    std::error_code error;
    return std::filesystem::exists(path, error);
}

} // namespace

std::string BuildFormPage(const PageInputs& in) {
    std::string page(PageHead);
    const std::string logoPath = (in.logoDir.empty() ? in.executableDir : in.logoDir) + "logo.bmp";
    // Without the workshop's logo beside the program the form header is left
    // out as a whole, so the page is the plain printout.
    if (LogoExists(in, logoPath)) {
        page += "<img src=\"file://";
        page += logoPath;
        page += "\" ></br></br>";
        const FormLines& lines = FormLinesFor(in.currentLanguage);
        page += lines.title;
        page += "<input id=\"u\" size=\"90\" style=\"border-style:solid none none none;\" "
                "readonly></br>";
        AppendField(page, lines.a, 'a', "</br>");
        AppendField(page, lines.b, 'b', "</br>");
        AppendField(page, lines.c, 'c', "</br>");
        AppendField(page, lines.d, 'd', "</br></br>");
    }
    page += in.receivedText;
    page += PageFoot;
    return page;
}

} // namespace quillar
