#include "render_platform.h"

#include <cstdio>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace quillar::render {

void UseBinaryStdio() {
    // Text mode would write CR LF for every LF of the page, and turn a CR LF of
    // a printout read from standard input into LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
}

std::string OwnDirectory() {
    // The wide form: a folder name outside the system's 8-bit code page stays
    // whole, and the page wants UTF-8 anyway.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) {
            throw std::runtime_error("cannot find the renderer's directory: error " +
                                     std::to_string(GetLastError()));
        }
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    path.resize(path.find_last_of(L"\\/") == std::wstring::npos ? 0 : path.find_last_of(L"\\/"));
    const int size = WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), utf8.data(), size,
                        nullptr, nullptr);
    return utf8;
}

bool LocalTime(std::time_t t, std::tm& local) {
    return localtime_s(&local, &t) == 0;
}

} // namespace quillar::render
