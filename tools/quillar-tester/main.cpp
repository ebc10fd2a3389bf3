// quillar-tester: plays a battery tester on a serial line, for trying Quillar
// and for its tests without hardware.
#include "printout_source.h"
#include "pty_device.h"
#include "tester_options.h"

#include "serial/os_error.h"
#include "serial/serial_link.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>

#include <poll.h>
#include <unistd.h>

namespace quillar::tester {

namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t stopRequested = 0;

void OnStopSignal(int) {
    stopRequested = 1;
}

void Event(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

int Fail(const std::string& why) {
    std::fprintf(stderr, "quillar-tester: %s\n", why.c_str());
    return 1;
}

Clock::time_point After(Clock::time_point from, double seconds) {
    return from +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// Why a wait or a send ended early.
enum class Cut { None, Stop, Unplug };

class Session {
public:
    explicit Session(const TesterOptions& o) : o_(o), start_(Clock::now()) {
        if (o.unplugAfter) {
            unplugAt_ = After(start_, *o.unplugAfter);
        }
    }

    int Run(const std::string& printout);

private:
    Cut Interrupted() const {
        if (stopRequested) {
            return Cut::Stop;
        }
        if (o_.unplugAfter && !unplugged_ && Clock::now() >= unplugAt_) {
            return Cut::Unplug;
        }
        return Cut::None;
    }

    // Sleeps in short slices so that a signal or the unplug time ends it soon.
    Cut WaitUntil(Clock::time_point until) const {
        for (;;) {
            if (const Cut cut = Interrupted(); cut != Cut::None) {
                return cut;
            }
            const auto left = until - Clock::now();
            if (left <= Clock::duration::zero()) {
                return Cut::None;
            }
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
            poll(nullptr, 0, static_cast<int>(std::clamp<long long>(ms, 1, 20)));
        }
    }

    Cut WaitSeconds(double seconds) const { return WaitUntil(After(Clock::now(), seconds)); }

    Cut WaitForOpen() const {
        while (!pty_.SlaveOpen()) {
            if (const Cut cut = WaitSeconds(0.02); cut != Cut::None) {
                return cut;
            }
        }
        Event("opened");
        return Cut::None;
    }

    bool Plug(std::string& error) {
        if (!pty_.Open(error)) {
            return false;
        }
        if (o_.link.empty()) {
            Event("pty " + pty_.SlavePath());
            return true;
        }
        if (!link_.Put(o_.link, pty_.SlavePath(), error)) {
            return false;
        }
        Event("linked " + o_.link + " -> " + pty_.SlavePath());
        return true;
    }

    void Unplug() {
        link_.Remove();
        pty_.Close();
        unplugged_ = true;
        Event("unplugged");
    }

    // Writes the printout at the pace asked; false with the reason in error
    // when the line takes nothing for too long or fails.
    bool Send(int fd, const std::string& bytes, Cut& cut, std::string& error);

    const TesterOptions& o_;
    const Clock::time_point start_;
    Clock::time_point unplugAt_{};
    bool unplugged_ = false;
    PtyDevice pty_;
    DeviceLink link_;
    TSerialLink port_;
};

bool Session::Send(int fd, const std::string& bytes, Cut& cut, std::string& error) {
    const auto begin = Clock::now();
    auto lastProgress = begin;
    std::size_t sent = 0;
    cut = Cut::None;
    while (sent < bytes.size()) {
        if ((cut = Interrupted()) != Cut::None) {
            break;
        }
        std::size_t due = bytes.size();
        if (o_.pace > 0) {
            const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
            due = std::min(bytes.size(), static_cast<std::size_t>(elapsed * o_.pace) + 1);
        }
        if (due > sent) {
            const ssize_t n = write(fd, bytes.data() + sent, due - sent);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                lastProgress = Clock::now();
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                error = "cannot send: " + OsErrorDescription(errno);
                return false;
            }
            if (Clock::now() - lastProgress > std::chrono::seconds(10)) {
                error = "cannot send: the line has taken nothing for 10 s (no reader, or CTS off)";
                return false;
            }
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 20);
        } else {
            const double nextDue = static_cast<double>(sent) / static_cast<double>(o_.pace);
            WaitUntil(std::min(After(begin, nextDue), After(Clock::now(), 0.02)));
        }
    }
    Event("sent " + std::to_string(sent) + " bytes");
    return true;
}

int Session::Run(const std::string& printout) {
    std::string error;
    int fd = -1;
    if (!o_.port.empty()) {
        port_.OpenPort(o_.port);
        if (port_.ErrorCode() == 0) {
            port_.SetLine(9600, 8, 'N', 0, false, true);
        }
        if (port_.ErrorCode() != 0) {
            return Fail("cannot use " + o_.port + ": " + port_.ErrorText());
        }
        fd = port_.Handle();
        Event("port " + port_.DeviceName());
    } else if (!Plug(error)) {
        return Fail(error);
    }

    std::int64_t remaining = o_.repeat;
    for (;;) {
        if (o_.port.empty()) {
            fd = pty_.Master();
        }
        Cut cut = o_.waitOpen ? WaitForOpen() : Cut::None;
        if (cut == Cut::None) {
            cut = WaitSeconds(o_.delay);
        }
        while (cut == Cut::None && remaining > 0) {
            if (!Send(fd, printout, cut, error)) {
                return Fail(error);
            }
            if (cut == Cut::None) {
                --remaining;
                if (remaining > 0) {
                    cut = WaitSeconds(o_.interval);
                }
            }
        }
        if (cut == Cut::None) {
            cut = o_.hold ? WaitSeconds(*o_.hold) : WaitUntil(Clock::time_point::max());
        }
        if (cut == Cut::Stop) {
            Event("stopped");
            return 0;
        }
        if (cut == Cut::None) {
            break; // held long enough
        }
        Unplug();
        if (!o_.replugAfter) {
            break;
        }
        if (WaitSeconds(*o_.replugAfter) == Cut::Stop) {
            Event("stopped");
            return 0;
        }
        Event("replugged");
        if (!Plug(error)) {
            return Fail(error);
        }
    }
    Event("done");
    return 0;
}

} // namespace

int Main(int argc, char** argv) {
    const ParsedOptions parsed = ParseTesterOptions(argc, argv);
    if (parsed.options.help) {
        std::fputs(TesterUsage(), stdout);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "quillar-tester: %s (see --help)\n", parsed.error.c_str());
        return 2;
    }
    const TesterOptions& o = parsed.options;

    std::string error;
    std::string path = o.file;
    if (!o.model.empty() && (path = FindSample(o.model, error)).empty()) {
        return Fail(error);
    }
    std::string printout;
    if (!ReadWholeFile(path, printout, error)) {
        return Fail(error);
    }

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader that closes never kills the simulator; a failed write says so.
    signal(SIGPIPE, SIG_IGN);

    Session session(o);
    return session.Run(printout);
}

} // namespace quillar::tester

int main(int argc, char** argv) {
    return quillar::tester::Main(argc, argv);
}
