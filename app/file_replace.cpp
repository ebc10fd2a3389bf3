#include "app/file_replace.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace quillar {

int ReadRest(int fd, std::string& text) {
    char buffer[65536];
    while (true) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return 0;
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

int ReplaceFile(const std::string& target, std::string temporaryPattern, std::string_view bytes,
                mode_t mode) {
    const int fd = mkstemp(temporaryPattern.data());
    if (fd < 0)
        return errno;
    fchmod(fd, mode);
    int error = 0;
    for (std::size_t done = 0; error == 0 && done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            error = n < 0 ? errno : ENOSPC;
        else
            done += static_cast<std::size_t>(n);
    }
    if (error == 0 && fsync(fd) != 0)
        error = errno;
    if (close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && std::rename(temporaryPattern.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0)
        unlink(temporaryPattern.c_str());
    return error;
}

} // namespace quillar
