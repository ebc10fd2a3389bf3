// Runs the view's test classes in one process: the engine starts only once.
// Test function names on the command line pick the classes that have them.

#include "view/font_configuration.h"
#include "view/report_browser.h"

#include <QApplication>
#include <QMetaMethod>
#include <QSet>
#include <QTest>

#include <memory>
#include <vector>

namespace quillar::test {
std::unique_ptr<QObject> MakePageBytesTest();
std::unique_ptr<QObject> MakePageUpdateTest();
std::unique_ptr<QObject> MakePageUpdateDifferentialTest();
std::unique_ptr<QObject> MakeReportBrowserTest();
std::unique_ptr<QObject> MakePdfPrintingTest();
} // namespace quillar::test

namespace {

QSet<QByteArray> SlotNames(const QObject& suite) {
    QSet<QByteArray> names;
    const QMetaObject* meta = suite.metaObject();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        if (meta->method(i).methodType() == QMetaMethod::Slot) {
            names.insert(meta->method(i).name());
        }
    }
    return names;
}

// "name" or "name:tag"
QByteArray FunctionOf(const char* arg) {
    const QByteArray a(arg);
    const qsizetype colon = a.indexOf(':');
    return colon < 0 ? a : a.left(colon);
}

} // namespace

int main(int argc, char** argv) {
    // As in the application: the report scheme exists before the engine starts.
    quillar::UseShippedFontConfiguration(); // the pages' and the window's faces
    quillar::TReportBrowser::RegisterUrlScheme();
    QApplication app(argc, argv);
    std::vector<std::unique_ptr<QObject>> suites;
    suites.push_back(quillar::test::MakePageBytesTest());
    suites.push_back(quillar::test::MakePageUpdateTest());
    suites.push_back(quillar::test::MakePageUpdateDifferentialTest());
    suites.push_back(quillar::test::MakeReportBrowserTest());
    suites.push_back(quillar::test::MakePdfPrintingTest());

    // Qt Test fails on a function name its class does not have: each class
    // gets the names of its own functions only, and runs only when named.
    QSet<QByteArray> all;
    for (const auto& suite : suites) {
        all.unite(SlotNames(*suite));
    }
    bool named = false;
    for (int i = 1; i < argc; ++i) {
        named = named || all.contains(FunctionOf(argv[i]));
    }
    int failed = 0;
    for (const auto& suite : suites) {
        const QSet<QByteArray> own = SlotNames(*suite);
        std::vector<char*> args{argv[0]};
        bool selected = !named;
        for (int i = 1; i < argc; ++i) {
            const QByteArray function = FunctionOf(argv[i]);
            if (!all.contains(function) || own.contains(function)) {
                args.push_back(argv[i]);
                selected = selected || own.contains(function);
            }
        }
        if (selected) {
            failed += QTest::qExec(suite.get(), static_cast<int>(args.size()), args.data()) != 0;
        }
    }
    return failed;
}
