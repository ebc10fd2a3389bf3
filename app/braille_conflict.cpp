#include "app/braille_conflict.h"

#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>
#include <utility>

namespace quillar {

namespace {

namespace fs = std::filesystem;

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// QinHeng's CH340, CH341 and their variants.
bool IsCh34xAdapter(const fs::path& usbDevice) {
    if (FirstLine(usbDevice / "idVendor") != "1a86")
        return false;
    const std::string product = FirstLine(usbDevice / "idProduct");
    return product == "7523" || product == "7522" || product == "5523" || product == "e523";
}

bool AnyCh34xPlugged(const std::string& sys) {
    std::error_code error;
    for (fs::directory_iterator it(fs::path(sys) / "bus/usb/devices", error), end;
         !error && it != end; it.increment(error)) {
        if (IsCh34xAdapter(it->path()))
            return true;
    }
    return false;
}

bool BrlttyRunning(const std::string& proc) {
    std::error_code error;
    for (fs::directory_iterator it(proc, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        if (FirstLine(it->path() / "comm") == "brltty")
            return true;
    }
    return false;
}

bool BrlttyInstalled(const std::string& root) {
    std::error_code error;
    for (const char* path : {"usr/bin/brltty", "bin/brltty", "usr/sbin/brltty", "sbin/brltty"}) {
        if (fs::exists(fs::path(root) / path, error))
            return true;
    }
    return false;
}

} // namespace

bool BrailleDaemonLikelyTookPort(const BrailleProbeRoots& roots) {
    return AnyCh34xPlugged(roots.sys) && (BrlttyRunning(roots.proc) || BrlttyInstalled(roots.root));
}

const char* BrailleConflictMessage() {
    return "The serial port appeared and was gone again at once. The braille display "
           "service (brltty) is installed and takes CH340/CH341 USB-serial adapters, the "
           "kind the tester's cable uses.\n\n"
           "If no braille display is used on this PC, stop it:\n"
           "    sudo systemctl mask brltty-udev.service brltty.service\n"
           "    sudo systemctl stop brltty-udev.service brltty.service\n"
           "or remove it: sudo apt remove brltty\n"
           "Then unplug the tester's cable and plug it in again.";
}

bool PortFlickerWatch::Update(const std::vector<std::string>& ports, Clock::time_point now) {
    std::map<std::string, Clock::time_point> listed;
    for (const std::string& name : ports) {
        if (name.empty())
            continue;
        const auto known = appeared_.find(name);
        listed[name] = known == appeared_.end() ? now : known->second;
    }
    bool flicker = false;
    for (const auto& [name, since] : appeared_) {
        if (listed.count(name) == 0 && now - since <= kWindow)
            flicker = true;
    }
    appeared_ = std::move(listed);
    return flicker;
}

} // namespace quillar
