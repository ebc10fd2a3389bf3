#include "report/models.h"
#include "report/report_pages.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace quillar {
namespace {

const std::string EmptyPage = std::string(PageHead) + std::string(PageFoot);

PageInputs Inputs(std::string_view model, std::int32_t language, std::string_view received,
                  bool logo) {
    PageInputs in;
    in.deviceModel = model;
    in.currentLanguage = language;
    in.receivedText = received;
    in.executableDir = "/opt/quillar/";
    in.dateText = "7 December 2026 09:05";
    in.fileExists = [logo](const std::string& path) {
        return logo && path == "/opt/quillar/logo.bmp";
    };
    return in;
}

const std::string EnglishHeader =
    "<img src=\"file:///opt/quillar/logo.bmp\" ></br></br>"
    "KD318 - Battery Test Result</br>"
    "<input id=\"u\" size=\"90\" style=\"border-style:solid none none none;\" readonly></br>"
    "Company Name&nbsp&nbsp&nbsp&nbsp&nbsp&nbsp <input id=\"a\" size=\"40\" "
    "style=\"border-style:solid; border-width:1px;\"></br>"
    "Technicians Name&nbsp&nbsp <input id=\"b\" size=\"40\" "
    "style=\"border-style:solid; border-width:1px;\"></br>"
    "Vehicle Reg Number <input id=\"c\" size=\"40\" "
    "style=\"border-style:solid; border-width:1px;\"></br>"
    "Date Tested&nbsp&nbsp&nbsp&nbsp&nbsp&nbsp&nbsp <input id=\"d\" size=\"20\" "
    "style=\"border-style:solid; border-width:1px;\"></br></br>";

TEST(BuildPlainPage, framesTheReceivedTextUnescaped) {
    EXPECT_EQ(PageHead.size(), 193u);
    EXPECT_EQ(BuildPlainPage(Inputs("QM", 0, "", false)), EmptyPage);
    EXPECT_EQ(BuildPlainPage(Inputs("QM", 0, "a < b & c<br>", false)),
              std::string(PageHead) + "a < b & c<br>" + std::string(PageFoot));
}

TEST(BuildReportPage, dispatchesOnTheExactModel) {
    const std::string received = "GOOD BATTERY<br>";
    EXPECT_EQ(BuildReportPage(Inputs("QM", 0, received, true)),
              std::string(PageHead) + received + std::string(PageFoot));
    EXPECT_EQ(BuildReportPage(Inputs("KD318", 0, received, true)),
              std::string(PageHead) + EnglishHeader + received + std::string(PageFoot));
    const LineList lines = {"<p><!--DCCSJG--></p>"};
    PageInputs kd520 = Inputs("KD520", 0, received, true);
    kd520.templateLines = &lines;
    EXPECT_EQ(BuildReportPage(kd520), "<p>GOOD</p>\r\n");
    for (std::string_view model : {"", "kd318", "KD318 ", " QM", "Qm", "KD520\n"}) {
        EXPECT_EQ(BuildReportPage(Inputs(model, 0, received, true)), "") << model;
    }
}

TEST(BuildFormPage, withoutLogoIsThePlainPage) {
    const std::string received = "Battery Test<br>";
    for (std::int32_t language : {0, 4, 6}) {
        EXPECT_EQ(BuildFormPage(Inputs("KD318", language, received, false)),
                  BuildPlainPage(Inputs("QM", language, received, false)));
    }
}

TEST(BuildFormPage, englishLinesForEveryLanguageWithoutItsOwnForm) {
    for (std::int32_t language : {0, 1, 2, 3, 8, 9, 10, 11, 12, -1}) {
        EXPECT_EQ(BuildFormPage(Inputs("KD318", language, "x<y", true)),
                  std::string(PageHead) + EnglishHeader + "x<y" + std::string(PageFoot))
            << language;
    }
}

TEST(BuildFormPage, ownLinesForDanishNorwegianPolishAndRomanian) {
    const std::string polish = BuildFormPage(Inputs("KD318", 6, "", true));
    EXPECT_NE(polish.find("</br>KD318 - Wyniki Testu</br><input id=\"u\""), std::string::npos);
    EXPECT_NE(polish.find("Nazwa firmy&nbsp&nbsp&nbsp&nbsp&nbsp&nbsp&nbsp&nbsp <input id=\"a\" "
                          "size=\"40\""),
              std::string::npos);
    EXPECT_NE(polish.find("Numer rejestracyjny <input id=\"c\" size=\"40\""), std::string::npos);
    EXPECT_TRUE(polish.ends_with("Data badania&nbsp&nbsp&nbsp&nbsp&nbsp&nbsp&nbsp <input id=\"d\" "
                                 "size=\"20\" style=\"border-style:solid; border-width:1px;\">"
                                 "</br></br></body></html>"));

    const std::string danish = BuildFormPage(Inputs("KD318", 4, "", true));
    EXPECT_NE(danish.find("KD318 - Batteri Test Resultat</br>"), std::string::npos);
    EXPECT_NE(danish.find("Nummerplade nr&nbsp&nbsp <input id=\"c\" size=\"40\""),
              std::string::npos);

    // Field c is narrower in Norwegian and Romanian, whose labels are long.
    const std::string norwegian = BuildFormPage(Inputs("KD318", 5, "", true));
    EXPECT_NE(norwegian.find("Kjøretøyets Registreringsnummer <input id=\"c\" size=\"20\""),
              std::string::npos);
    EXPECT_NE(norwegian.find("Firmanavn" + test::Repeat("&nbsp", 10) + " <input id=\"a\""),
              std::string::npos);
    EXPECT_NE(norwegian.find("Test Dato" + test::Repeat("&nbsp", 22) + " <input id=\"d\""),
              std::string::npos);
    const std::string romanian = BuildFormPage(Inputs("KD318", 7, "", true));
    EXPECT_NE(romanian.find("Numărul de înmatriculare al vehiculului <input id=\"c\" size=\"20\""),
              std::string::npos);
    EXPECT_NE(romanian.find("Numele tehnicianului" + test::Repeat("&nbsp", 7) + " <input id=\"b\""),
              std::string::npos);
    EXPECT_NE(romanian.find("Data testării" + test::Repeat("&nbsp", 26) + " <input id=\"d\""),
              std::string::npos);
}

TEST(BuildFormPage, logoIsLookedUpAtEveryBuild) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("quillar_form_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    PageInputs in = Inputs("KD318", 0, "", false);
    in.executableDir = dir.string() + "/";
    in.fileExists = nullptr; // the real file system

    EXPECT_EQ(BuildFormPage(in), EmptyPage);
    std::ofstream(dir / "logo.bmp") << "BM";
    const std::string withLogo = BuildFormPage(in);
    EXPECT_TRUE(withLogo.starts_with(std::string(PageHead) + "<img src=\"file://" +
                                     in.executableDir + "logo.bmp\" ></br></br>"));
    std::filesystem::remove_all(dir);
    EXPECT_EQ(BuildFormPage(in), EmptyPage);
}

std::string ReadSample(const char* name) {
    std::ifstream file(std::string(QUILLAR_SAMPLES_DIR "/") + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

TEST(ModelOfPrintout, onlyLabelsOfOneModelNameIt) {
    const std::string kd520 = ReadSample("kd520.txt"), kd318 = ReadSample("kd318.txt"),
                      qm = ReadSample("qm.txt");
    ASSERT_FALSE(kd520.empty() || kd318.empty() || qm.empty());
    EXPECT_EQ(ModelOfPrintout(kd520), "KD520");
    EXPECT_EQ(ModelOfPrintout(qm), "QM");
    // A KD318 prints nothing of its own; half a KD520 line is not enough,
    // and labels of two kinds name none.
    EXPECT_EQ(ModelOfPrintout(kd318), "");
    EXPECT_EQ(ModelOfPrintout("Battery Test\r\nHealth"), "");
    EXPECT_EQ(ModelOfPrintout(kd520 + kd318), "");
    EXPECT_TRUE(HasReportPage("QM"));
    EXPECT_FALSE(HasReportPage("qm"));
    EXPECT_FALSE(HasReportPage(""));
}

TEST(ModelTable, namesMatchExactly_andEachRowIsItsModels) {
    // The menu's order, each row found by its own name and by its model.
    ASSERT_EQ(ModelTable().size(), ReportModels.size());
    for (std::size_t i = 0; i < ModelTable().size(); ++i) {
        const ModelTraits& row = ModelTable()[i];
        EXPECT_EQ(row.name, ReportModels[i]);
        EXPECT_EQ(ParseModel(row.name), row.model);
        EXPECT_EQ(&TraitsOf(row.model), &row);
        EXPECT_EQ(TraitsOf(row.name), &row);
    }
    for (const char* near : {"kd520", "Kd520", " KD520", "KD520 ", "KD5200", "KD52", "KD520\r",
                             "QM\n", "qm", "KD 318", ""})
        EXPECT_FALSE(ParseModel(near)) << '"' << near << '"';
    EXPECT_FALSE(ParseModel(std::string_view("KD520\0", 6)));
    EXPECT_EQ(TraitsOf("Qm"), nullptr);

    // Each row builds its own page and names boxes its page has.
    PageInputs in;
    in.receivedText = "SOH: 80%<br>";
    in.executableDir = "/opt/quillar/";
    const LineList lines = test::LoadResource("htmKD520");
    in.templateLines = &lines;
    in.fileExists = [](const std::string&) { return true; }; // the form needs the logo
    for (const ModelTraits& row : ModelTable()) {
        in.deviceModel = row.name;
        const std::string page = BuildReportPage(in);
        EXPECT_EQ(page, row.buildPage(in)) << row.name;
        for (std::string_view box : {row.storeBox, row.companyBox, row.technicianBox,
                                     row.registrationBox, row.testDateBox}) {
            if (box.empty())
                continue;
            const std::string id = "id=\"" + std::string(box.substr(1)) + "\"";
            EXPECT_NE(page.find(id), std::string::npos) << row.name << " has no " << box;
        }
    }
    EXPECT_TRUE(TraitsOf(TesterModel::KD520).logsMeasurements);
    EXPECT_FALSE(TraitsOf(TesterModel::QM).logsMeasurements);
}

} // namespace
} // namespace quillar
