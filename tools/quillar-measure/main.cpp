// quillar-measure: runs Quillar's main window in this process against a
// pseudo-terminal that it drives itself, and prints
//   latency  from the write of a printout's last byte to the pageShown of the
//            first page that holds the whole printout (median, p95, max);
//   idle     CPU of this process and the engine's processes with the port open
//            and nothing arriving;
//   memory   RSS and PSS of the same processes while the view replaces a
//            20 KB report page again and again;
//   growth   (--only growth) render process and whole-tree memory as one QM
//            report grows to 1, 4 and 12 MiB of received text, the time from
//            Clear to the empty page at the end, and what Clear gives back;
//   longrun  (--only longrun) 2,000 printouts at ten times the tester's pace
//            with Clear after every fifth: tree memory at start, middle, end;
//   archive  (--only archive) printouts each followed by Clear: the time from
//            Clear to the test's files on disk, and the poll tick's intervals
//            while the archive writes and while it does not (--no-archive:
//            the same run with the archive off, as a baseline).
// The latency phase also counts the engine processes started meanwhile.
// The window is the real TForm1 with the real port discovery, serial link and
// poll timer; only the configuration file lives in a temporary folder.

#include "process_tree.h"

#include "app/main_window.h"
#include "app/quillar_application.h"
#include "app/test_archive.h"
#include "report/builtin_resources.h"
#include "report/report_composer.h"
#include "view/font_configuration.h"
#include "view/report_browser.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <QWebEngineView>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace quillar::measure {

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    bool latency = true, idle = true, memory = true, growth = false, longrun = false;
    bool archive = false;
    bool archiveOff = false; // the archive phase without an archive
    int printouts = 50;
    int idleSeconds = 60;
    int pages = 500;
    std::vector<int> growthMiB = {1, 4, 12};
    int longPrintouts = 2000;
    int reportBytes = 20 * 1024;
    QString model = QStringLiteral("QM");
};

void Usage() {
    std::puts("usage: quillar-measure [--only latency|idle|memory|growth|longrun|archive]\n"
              "                       [--printouts N] [--no-archive]\n"
              "                       [--idle-seconds S] [--pages N] [--report-kib K]\n"
              "                       [--growth-mib A,B,C] [--long-printouts N] [--model "
              "KD520|KD318|QM]\n"
              "Runs Quillar's window against a pseudo-terminal driven from here and prints\n"
              "latency (last byte -> page shown), idle CPU and memory over page replacements.");
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

void Pause(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    // Nearest rank.
    const std::size_t rank =
        static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

std::string ReadSample(const QString& model) {
    QFile file(QStringLiteral(QUILLAR_SAMPLES_DIR "/") + model.toLower() + QStringLiteral(".txt"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// A pseudo-terminal whose device is reachable under a link in a folder, and
// named in QUILLAR_EXTRA_PORTS so that the window's port discovery finds it.
class Line {
public:
    bool Open(const QString& linkPath) {
        int slave = -1;
        char name[256] = {};
        if (openpty(&master_, &slave, name, nullptr, nullptr) != 0)
            return false;
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        close(slave);
        link_ = linkPath.toStdString();
        if (symlink(name, link_.c_str()) != 0)
            return false;
        qputenv("QUILLAR_EXTRA_PORTS", linkPath.toLocal8Bit());
        return true;
    }
    ~Line() {
        if (!link_.empty())
            unlink(link_.c_str());
        if (master_ >= 0)
            close(master_);
    }
    // Writes what the line takes now, without waiting; the count written.
    std::size_t WriteSome(const char* bytes, std::size_t size) {
        const int flags = fcntl(master_, F_GETFL);
        fcntl(master_, F_SETFL, flags | O_NONBLOCK);
        const ssize_t n = write(master_, bytes, size);
        fcntl(master_, F_SETFL, flags);
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    bool Write(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = write(master_, bytes.data() + sent, bytes.size() - sent);
            if (n <= 0)
                return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }

private:
    int master_ = -1;
    std::string link_;
};

struct Session {
    QTemporaryDir dir;
    Line line;
    std::unique_ptr<TForm1> form;
    QString link;

    QString archive; // the report archive's folder; empty = none

    bool Start(const QString& model, bool withArchive) {
        if (!dir.isValid())
            return false;
        QFile ini(dir.filePath(QStringLiteral("quillar.ini")));
        if (!ini.open(QIODevice::WriteOnly))
            return false;
        // Never the user's documents folder: the archive, if any, is in here.
        if (withArchive)
            archive = dir.filePath(QStringLiteral("archive"));
        ini.write(QStringLiteral("[Config]\r\nModel=%1\r\nLanguage=0\r\nLanguageOption=1,2,3\r\n"
                                 "ArchiveFolder=%2\r\n")
                      .arg(model, archive)
                      .toUtf8());
        ini.close();
        for (int step = 0; step <= 10; ++step) {
            const QString name = QString::number(step) + QStringLiteral(".png");
            QFile::copy(QStringLiteral(QUILLAR_STATE_IMAGE_DIR "/") + name, dir.filePath(name));
        }
        link = dir.filePath(QStringLiteral("ttyTester"));
        if (!line.Open(link))
            return false;
        ShellEnvironment env = ShellEnvironment::ForRunningProgram();
        env.iniPath = dir.filePath(QStringLiteral("quillar.ini")).toStdString();
        env.executableDir = dir.path().toStdString() + "/";
        form = std::make_unique<TForm1>(std::move(env));
        form->show();
        const QString connected = link + QStringLiteral(" Connected OK");
        return WaitFor([&] { return form->ToolButton6->text() == connected; }, 30'000);
    }
};

bool MeasureLatency(Session& s, const Options& o) {
    const std::string printout = ReadSample(o.model);
    if (printout.empty()) {
        std::fprintf(stderr, "quillar-measure: no sample for %s\n", qPrintable(o.model));
        return false;
    }
    TForm1& form = *s.form;
    // Each pageShown with the text size at that moment: a page is announced
    // only when no newer one waits, so one announced while the text holds k
    // whole printouts shows all of them.
    std::vector<std::pair<Clock::time_point, std::size_t>> shown;
    const QMetaObject::Connection recording = QObject::connect(
        form.ReportView(), &TReportBrowser::pageShown, form.ReportView(), [&](bool ok) {
            if (ok)
                shown.emplace_back(Clock::now(), form.ReceivedText().size());
        });

    // The connection refers to locals of this function.
    const auto stopRecording = qScopeGuard([&] { QObject::disconnect(recording); });

    // Every process of the tree seen during the printouts: a render process
    // per page would show here.
    const pid_t self = getpid();
    std::set<pid_t> seen, atStart;
    for (const pid_t pid : ProcessTree(self))
        atStart.insert(pid);
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        for (const pid_t pid : ProcessTree(self))
            seen.insert(pid);
    });
    sampler.start(100);

    // One printout to warm the engine up and learn the size of one printout's text.
    form.ToolButton4Click();
    Pause(500);
    if (!s.line.Write(printout) || !WaitFor([&] { return !form.ReceivedText().empty(); }, 30'000))
        return false;
    Pause(1500);
    const std::size_t perPrintout = form.ReceivedText().size();

    // Writes out of step with the 250 ms poll, so that every phase of the tick is met.
    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> jitter(0, 249);
    std::vector<double> ms;
    for (int i = 2; i <= o.printouts + 1; ++i) {
        Pause(750 + jitter(random));
        shown.clear();
        const std::size_t whole = perPrintout * static_cast<std::size_t>(i);
        if (!s.line.Write(printout))
            return false;
        const Clock::time_point lastByte = Clock::now();
        const bool ok = WaitFor(
            [&] {
                return std::any_of(shown.begin(), shown.end(),
                                   [&](const auto& e) { return e.second >= whole; });
            },
            30'000);
        if (!ok || form.ReceivedText().size() != whole) {
            std::fprintf(stderr,
                         "quillar-measure: printout %d not shown whole (text %zu bytes, "
                         "expected %zu)\n",
                         i, form.ReceivedText().size(), whole);
            return false;
        }
        const auto at = std::find_if(shown.begin(), shown.end(),
                                     [&](const auto& e) { return e.second >= whole; });
        ms.push_back(std::chrono::duration<double, std::milli>(at->first - lastByte).count());
    }
    std::printf("latency  last byte -> page shown, %zu printouts of %s (%zu bytes each)\n",
                ms.size(), qPrintable(o.model), printout.size());
    std::printf("latency  median %.0f ms, p95 %.0f ms, min %.0f ms, max %.0f ms  "
                "(target p95 < 400 ms)\n",
                Percentile(ms, 50), Percentile(ms, 95), *std::min_element(ms.begin(), ms.end()),
                *std::max_element(ms.begin(), ms.end()));
    sampler.stop();
    std::size_t started = 0;
    for (const pid_t pid : seen)
        started += atStart.count(pid) == 0 ? 1 : 0;
    std::printf("processes %zu in the tree before the printouts, %zu new ones started during "
                "%zu printouts, %zu render process(es) now  (target: no new ones)\n",
                atStart.size(), started, ms.size() + 1, Renderers(ProcessTree(self)).size());
    return true;
}

long long CsvLines(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
}

bool MeasureArchive(Session& s, const Options& o) {
    const std::string printout = ReadSample(o.model);
    if (printout.empty())
        return false;
    TForm1& form = *s.form;
    // The end of every poll tick (connected after the window's own handler),
    // and whether the archive had a write under way at that moment.
    std::vector<std::pair<Clock::time_point, bool>> ticks;
    bool writing = false;
    const QMetaObject::Connection tickRecording =
        QObject::connect(form.Timer1, &QTimer::timeout, form.Timer1,
                         [&] { ticks.emplace_back(Clock::now(), writing); });
    int written = 0;
    Clock::time_point writtenAt;
    const QMetaObject::Connection writeRecording =
        QObject::connect(form.Archive(), &TTestArchive::written, form.Archive(), [&] {
            ++written;
            writtenAt = Clock::now();
        });
    const auto stopRecording = qScopeGuard([&] {
        QObject::disconnect(tickRecording);
        QObject::disconnect(writeRecording);
    });

    form.ToolButton4Click();
    Pause(500);
    std::vector<double> clearToFiles;
    for (int i = 1; i <= o.printouts; ++i) {
        if (!s.line.Write(printout))
            return false;
        // The whole printout shown, then Clear as the user would press it.
        if (!WaitFor([&] { return form.ReceivedText().size() > printout.size() / 2; }, 30'000))
            return false;
        Pause(1500);
        const int before = written;
        const Clock::time_point clear = Clock::now();
        writing = true;
        form.ToolButton4Click();
        // Ticks in the second after Clear are compared: with the archive it
        // holds the page's PDF and the write, without it the same Clear.
        if (!s.archive.isEmpty()) {
            if (!WaitFor([&] { return written > before; }, 60'000)) {
                std::fprintf(stderr, "quillar-measure: test %d was not written\n", i);
                return false;
            }
            clearToFiles.push_back(
                std::chrono::duration<double, std::milli>(writtenAt - clear).count());
        }
        const auto sinceClear =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - clear);
        Pause(std::max(0, 1000 - static_cast<int>(sinceClear.count())));
        writing = false;
        Pause(500);
    }
    std::vector<double> whileWriting, otherwise;
    for (std::size_t i = 1; i < ticks.size(); ++i)
        (ticks[i].second ? whileWriting : otherwise)
            .push_back(
                std::chrono::duration<double, std::milli>(ticks[i].first - ticks[i - 1].first)
                    .count());
    auto report = [](const char* what, const std::vector<double>& ms) {
        if (ms.empty())
            return;
        std::printf("archive  tick interval %s: %zu ticks, median %.1f ms, p95 %.1f ms, "
                    "min %.1f ms, max %.1f ms\n",
                    what, ms.size(), Percentile(ms, 50), Percentile(ms, 95),
                    *std::min_element(ms.begin(), ms.end()),
                    *std::max_element(ms.begin(), ms.end()));
    };
    if (!clearToFiles.empty()) {
        const QDir month(s.archive + QStringLiteral("/") +
                         QDate::currentDate().toString(QStringLiteral("yyyy-MM")));
        std::printf("archive  %zu tests of %s: Clear -> .txt, .pdf and tests.csv row on disk: "
                    "median %.0f ms, p95 %.0f ms, max %.0f ms; %lld files in %s, %lld lines "
                    "in tests.csv\n",
                    clearToFiles.size(), qPrintable(o.model), Percentile(clearToFiles, 50),
                    Percentile(clearToFiles, 95),
                    *std::max_element(clearToFiles.begin(), clearToFiles.end()),
                    static_cast<long long>(month.entryList(QDir::Files).size()),
                    qPrintable(month.path()), CsvLines(s.archive + QStringLiteral("/tests.csv")));
    }
    report(s.archive.isEmpty() ? "1 s after Clear, no archive" : "1 s after Clear, archive writing",
           whileWriting);
    report("otherwise", otherwise);
    return true;
}

bool MeasureIdle(Session& s, const Options& o) {
    // Let the last page settle first.
    Pause(3000);
    const pid_t self = getpid();
    const std::vector<pid_t> before = ProcessTree(self);
    const double cpu0 = CpuSeconds(before);
    const Clock::time_point t0 = Clock::now();
    Pause(o.idleSeconds * 1000);
    const std::vector<pid_t> after = ProcessTree(self);
    const double cpu1 = CpuSeconds(after);
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const bool stillConnected =
        s.form->ToolButton6->text() == s.link + QStringLiteral(" Connected OK");
    std::printf("idle     %.1f s with %s open, nothing arriving, %zu processes: CPU %.2f s = "
                "%.2f %% of one core  (target < 2 %%)%s\n",
                wall, qPrintable(s.link), after.size(), cpu1 - cpu0, 100.0 * (cpu1 - cpu0) / wall,
                stillConnected ? "" : "  [port lost meanwhile]");
    return stillConnected;
}

bool MeasureMemory(Session& s, const Options& o) {
    TForm1& form = *s.form;
    // A report of the size asked, built as the poll builds it: the sample
    // printout again and again, translated and through the phrase tables.
    const std::string printout = ReadSample(o.model);
    const std::string model = o.model.toStdString();
    const ReportSetting setting{model, 0, &BuiltinReportTables()};
    std::string text;
    while (text.size() < static_cast<std::size_t>(o.reportBytes))
        AddRead(text, printout, setting);
    PageInputs in;
    in.executableDir = s.dir.path().toStdString() + "/";
    TReportBrowser& view = *form.ReportView();
    int shown = 0;
    const QMetaObject::Connection counting =
        QObject::connect(&view, &TReportBrowser::pageShown, &view, [&](bool) { ++shown; });
    const auto stopCounting = qScopeGuard([&] { QObject::disconnect(counting); });

    const pid_t self = getpid();
    std::printf("memory   %d replacements of a %zu-byte %s report page\n", o.pages,
                ComposePage(text, setting, in).size(), qPrintable(o.model));
    double first = 0, last = 0;
    for (int i = 1; i <= o.pages; ++i) {
        // Each page differs (the date line), so nothing can be taken from the last one.
        const std::string date = "page " + std::to_string(i);
        in.dateText = date;
        const std::string withCount = text + "<br>page " + std::to_string(i) + "<br>";
        const int before = shown;
        view.ShowPage(ComposePage(withCount, setting, in));
        if (!WaitFor([&] { return shown > before; }, 30'000)) {
            std::fprintf(stderr, "quillar-measure: page %d was not shown\n", i);
            return false;
        }
        if (i == 1 || i % 50 == 0 || i == o.pages) {
            Pause(200);
            const std::vector<pid_t> tree = ProcessTree(self);
            const Memory m = MemoryOf(tree);
            std::printf("memory   after %3d pages: RSS %6.1f MiB, PSS %6.1f MiB (%zu processes)\n",
                        i, m.rssMiB, m.pssMiB, tree.size());
            std::fflush(stdout);
            if (i == 1)
                first = m.rssMiB;
            last = m.rssMiB;
        }
    }
    std::printf("memory   RSS after the first page %.1f MiB, after the last %.1f MiB, growth %.1f "
                "MiB  (target < 350 MiB, not climbing)\n",
                first, last, last - first);
    return true;
}

struct TreeFigures {
    double treeMiB = 0, rendererMiB = 0, mainMiB = 0;
};

TreeFigures TakeFigures() {
    const pid_t self = getpid();
    const std::vector<pid_t> tree = ProcessTree(self);
    TreeFigures f;
    f.treeMiB = MemoryOf(tree).rssMiB;
    f.rendererMiB = MemoryOf(Renderers(tree)).rssMiB;
    f.mainMiB = MemoryOf({self}).rssMiB;
    return f;
}

// Waits until the received text has stopped growing and the view has shown a
// page made after that.
bool WaitUntilSettled(TForm1& form, const int& shown) {
    std::size_t size = form.ReceivedText().size();
    int lastShown = shown;
    QElapsedTimer quiet;
    quiet.start();
    return WaitFor(
        [&] {
            if (form.ReceivedText().size() != size || shown != lastShown) {
                size = form.ReceivedText().size();
                lastShown = shown;
                quiet.restart();
            }
            return quiet.elapsed() > 1500;
        },
        600'000);
}

bool MeasureGrowth(Session& s, const Options& o) {
    TForm1& form = *s.form;
    TReportBrowser& view = *form.ReportView();
    int shown = 0, crashes = 0;
    const QMetaObject::Connection counting =
        QObject::connect(&view, &TReportBrowser::pageShown, &view, [&](bool) { ++shown; });
    const QMetaObject::Connection crashing =
        QObject::connect(view.View()->page(), &QWebEnginePage::renderProcessTerminated, view.View(),
                         [&] { ++crashes; });
    const auto stop = qScopeGuard([&] {
        QObject::disconnect(counting);
        QObject::disconnect(crashing);
    });
    form.ToolButton4Click();
    Pause(2000);
    const TreeFigures start = TakeFigures();
    std::printf("growth   one QM report fed as fast as the line takes it, polled every 20 ms\n"
                "growth   at the start: tree %.0f MiB, render process %.0f MiB, main %.0f MiB\n",
                start.treeMiB, start.rendererMiB, start.mainMiB);
    std::fflush(stdout);

    // Without the 250 ms pause between reads 12 MiB take minutes, not an hour.
    form.Timer1->setInterval(20);
    const auto normalPace = qScopeGuard([&] { form.Timer1->setInterval(250); });
    std::string stream;
    const std::string printout = ReadSample(QStringLiteral("QM"));
    while (stream.size() < 1 << 20)
        stream += printout;
    std::size_t offset = 0;
    QElapsedTimer clock;
    clock.start();
    for (const int mib : o.growthMiB) {
        const std::size_t goal = static_cast<std::size_t>(mib) << 20;
        while (form.ReceivedText().size() < goal) {
            offset += s.line.WriteSome(stream.data() + offset, stream.size() - offset);
            if (offset == stream.size())
                offset = 0;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        if (!WaitUntilSettled(form, shown))
            return false;
        Pause(1000);
        const TreeFigures f = TakeFigures();
        const double textMiB = static_cast<double>(form.ReceivedText().size()) / (1 << 20);
        std::printf("growth   %5.2f MiB received (%.0f s): tree %6.0f MiB, render process %6.0f "
                    "MiB (+%.0f MiB/MiB of text), main %5.0f MiB, render process crashes %d\n",
                    textMiB, clock.elapsed() / 1000.0, f.treeMiB, f.rendererMiB,
                    (f.rendererMiB - start.rendererMiB) / textMiB, f.mainMiB, crashes);
        std::fflush(stdout);
    }

    const int before = shown;
    const Clock::time_point t0 = Clock::now();
    form.ToolButton4Click();
    if (!WaitFor([&] { return shown > before; }, 120'000))
        return false;
    const double clearMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    Pause(3000);
    const TreeFigures after = TakeFigures();
    std::printf("growth   Clear -> empty page shown: %.0f ms  (target: within the next tick)\n"
                "growth   3 s after Clear: tree %.0f MiB, render process %.0f MiB, main %.0f MiB "
                "(%+.0f MiB against the start)\n",
                clearMs, after.treeMiB, after.rendererMiB, after.mainMiB,
                after.mainMiB - start.mainMiB);
    return crashes == 0;
}

bool MeasureLongRun(Session& s, const Options& o) {
    TForm1& form = *s.form;
    const std::string printout = ReadSample(QStringLiteral("QM"));
    form.ToolButton4Click();
    Pause(1000);
    // Ten times the tester's 960 bytes per second, in slices of 10 ms.
    const std::size_t slice = 96;
    std::size_t perPrintout = 0;
    std::printf("longrun  %d QM printouts at 9600 bytes/s, Clear after every fifth\n",
                o.longPrintouts);
    for (int i = 1; i <= o.longPrintouts; ++i) {
        for (std::size_t at = 0; at < printout.size(); at += slice) {
            if (!s.line.Write(printout.substr(at, slice)))
                return false;
            Pause(10);
        }
        if (perPrintout == 0) {
            if (!WaitFor([&] { return !form.ReceivedText().empty(); }, 30'000))
                return false;
            Pause(500);
            perPrintout = form.ReceivedText().size();
        }
        if (i % 5 == 0) {
            const std::size_t whole = perPrintout * 5;
            if (!WaitFor([&] { return form.ReceivedText().size() >= whole; }, 30'000)) {
                std::fprintf(stderr, "quillar-measure: printouts %d-%d did not all arrive\n", i - 4,
                             i);
                return false;
            }
            form.ToolButton4Click();
        }
        if (i == 1 || i == o.longPrintouts / 2 || i == o.longPrintouts) {
            Pause(500);
            const TreeFigures f = TakeFigures();
            std::printf("longrun  after %4d printouts: tree %6.0f MiB, render process %5.0f MiB, "
                        "main %5.0f MiB, %zu processes\n",
                        i, f.treeMiB, f.rendererMiB, f.mainMiB, ProcessTree(getpid()).size());
            std::fflush(stdout);
        }
    }
    return true;
}

} // namespace

int Main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--only" && hasValue) {
            const std::string what = argv[++i];
            o.latency = what == "latency";
            o.idle = what == "idle";
            o.memory = what == "memory";
            o.growth = what == "growth";
            o.longrun = what == "longrun";
            o.archive = what == "archive";
        } else if (a == "--no-archive") {
            o.archiveOff = true;
        } else if (a == "--printouts" && hasValue) {
            o.printouts = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--idle-seconds" && hasValue) {
            o.idleSeconds = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--pages" && hasValue) {
            o.pages = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--report-kib" && hasValue) {
            o.reportBytes = std::max(1, std::atoi(argv[++i])) * 1024;
        } else if (a == "--growth-mib" && hasValue) {
            o.growthMiB.clear();
            for (const QString& part : QString::fromLocal8Bit(argv[++i]).split(QLatin1Char(',')))
                if (part.toInt() > 0)
                    o.growthMiB.push_back(part.toInt());
        } else if (a == "--long-printouts" && hasValue) {
            o.longPrintouts = std::max(5, std::atoi(argv[++i]));
        } else if (a == "--model" && hasValue) {
            o.model = QString::fromLocal8Bit(argv[++i]);
        } else if (a == "--help" || a == "-h") {
            Usage();
            return 0;
        } else if (a.rfind("-", 0) == 0 && a != "-platform") {
            std::fprintf(stderr, "quillar-measure: unknown option %s (see --help)\n", a.c_str());
            return 2;
        }
    }
    UseShippedFontConfiguration(); // the pages' and the window's faces
    TReportBrowser::RegisterUrlScheme();
    int qtArgc = 1;
    QuillarApplication app(qtArgc, argv);
    Session session;
    if (!session.Start(o.model, o.archive && !o.archiveOff)) {
        std::fprintf(stderr, "quillar-measure: the window did not connect to %s\n",
                     qPrintable(session.link));
        return 1;
    }
    std::printf("quillar-measure: window connected to %s, model %s\n", qPrintable(session.link),
                qPrintable(o.model));
    std::fflush(stdout);
    using Phase = bool (*)(Session&, const Options&);
    const std::pair<bool, Phase> phases[] = {
        {o.latency, MeasureLatency}, {o.idle, MeasureIdle},       {o.memory, MeasureMemory},
        {o.growth, MeasureGrowth},   {o.longrun, MeasureLongRun}, {o.archive, MeasureArchive}};
    bool ok = true;
    for (const auto& [wanted, measure] : phases) {
        if (wanted)
            ok = measure(session, o) && ok;
        std::fflush(stdout);
    }
    return ok ? 0 : 1;
}

} // namespace quillar::measure

int main(int argc, char** argv) {
    return quillar::measure::Main(argc, argv);
}
