// quillar-reprint: prints the report page of a recorded tester printout (a
// kept .txt of the report archive, or any capture) to a PDF file, laid out as
// the Print command and the archive lay it out, without a window.

#include "printout_page.h"
#include "render_options.h"
#include "report/models.h"
#include "view/font_configuration.h"
#include "view/report_browser.h"

#include <QApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

namespace {

using namespace quillar;

constexpr const char* kUsage =
    "usage: quillar-reprint --pdf OUT --model MODEL [--language N] [--date TEXT]\n"
    "                       [--image-dir DIR] [--chunk N] FILE\n"
    "Prints the report page of a tester printout (raw bytes as sent, e.g. a kept\n"
    ".txt of the report archive) to the PDF file OUT, as Quillar prints it, without\n"
    "a window.\n"
    "  --pdf OUT        the PDF file to write\n"
    "  --model MODEL    tester model: KD318, KD520 or QM\n"
    "  --language N     language index as in the language menu, 0 to 11 (default 0)\n"
    "  --date TEXT      date and time on the KD520 page (default: the test's time,\n"
    "                   from the file's name when the report archive named it,\n"
    "                   \"2026-12-08 0956 KD520 ...\", else the file's last change)\n"
    "  --image-dir DIR  directory of logo.bmp and the state images (default: the\n"
    "                   directory of this program, or share/quillar beside its\n"
    "                   folder when the program is installed)\n"
    "  --chunk N        feed the printout N bytes per read, as the poll cycle does\n"
    "                   (default: all at once)\n";

// When the printout was taken: the time in a name the report archive gave
// ("2026-12-08 0956 KD520 WX12345.txt", to the minute), else the file's last
// change, which a copy or an unpacked backup may have moved.
QDateTime TestTime(const QString& path) {
    const QFileInfo file(path);
    static const QRegularExpression archiveName(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2}) (\\d{2})(\\d{2}) "));
    if (const QRegularExpressionMatch m = archiveName.match(file.fileName()); m.hasMatch()) {
        const QDateTime named(
            QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()),
            QTime(m.captured(4).toInt(), m.captured(5).toInt()));
        if (named.isValid())
            return named;
    }
    return file.lastModified();
}

// The date as the window writes it on a KD520 page.
std::string WindowDateText(const QDateTime& time) {
    return QLocale::system().toString(time, QStringLiteral("d MMMM yyyy HH:mm")).toStdString();
}

int Run(int argc, char** argv) {
    std::vector<const char*> rest;
    std::string pdf;
    bool havePdf = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a != "--pdf") {
            rest.push_back(argv[i]);
            continue;
        }
        if (i + 1 >= argc)
            throw render::UsageError("--pdf needs a value");
        if (havePdf)
            throw render::UsageError("more than one --pdf");
        havePdf = true;
        pdf = argv[++i];
    }
    const render::RenderOptions options = render::ParseRenderOptions(rest);
    if (options.help) {
        std::cout << kUsage;
        return 0;
    }
    if (pdf.empty())
        throw render::UsageError("--pdf OUT is needed");
    // Any other model has no report page: the PDF would be an empty sheet.
    if (!HasReportPage(options.model))
        throw render::UsageError("--model must be KD318, KD520 or QM, not \"" + options.model +
                                 "\"");
    if (!options.input || *options.input == "-")
        throw render::UsageError("a printout FILE is needed");
    std::ifstream file(*options.input, std::ios::binary);
    if (!file)
        throw render::UsageError("cannot open " + *options.input);
    std::ostringstream bytes;
    bytes << file.rdbuf();

    // No window: the engine renders off screen unless told otherwise.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    UseShippedFontConfiguration();
    TReportBrowser::RegisterUrlScheme();
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const std::string page = render::BuildPrintoutPage(
        options, bytes.str(),
        options.dateText ? *options.dateText
                         : WindowDateText(TestTime(QString::fromStdString(*options.input))));

    QWidget host;
    host.resize(900, 1200);
    TReportBrowser browser(&host);
    browser.SetImageFolders({QString::fromStdString(
        options.imageDir ? *options.imageDir : render::DefaultImageDirectory())});
    browser.SetHostWindow(&host);
    browser.SetSize(900, 1200);
    QEventLoop loop;
    bool shown = false;
    bool printed = false;
    QObject::connect(&browser, &TReportBrowser::pageShown, &loop, [&](bool ok) {
        shown = ok;
        loop.quit();
    });
    QTimer::singleShot(120'000, &loop, &QEventLoop::quit);
    browser.ShowPage(page);
    loop.exec();
    if (!shown) {
        std::cerr << "quillar-reprint: the page could not be shown\n";
        return 1;
    }
    const QString out = QFileInfo(QString::fromStdString(pdf)).absoluteFilePath();
    browser.SnapshotPage(out, [&](const QString&, bool ok) {
        printed = ok;
        loop.quit();
    });
    loop.exec();
    if (!printed) {
        std::cerr << "quillar-reprint: the page could not be printed to " << pdf << "\n";
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const render::UsageError& e) {
        std::cerr << "quillar-reprint: " << e.what() << " (see --help)\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "quillar-reprint: " << e.what() << "\n";
        return 1;
    }
}
