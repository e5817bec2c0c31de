// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tarvento {

std::optional<std::string> ReadSmallFileAt(int folderFd, const std::string& name, std::size_t limit,
                                           FollowLinks links) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (links == FollowLinks::No) flags |= O_NOFOLLOW;
    const int fd = ::openat(folderFd, name.c_str(), flags);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    std::string data;
    char buffer[4096];
    // One byte past the limit tells a file that is larger from one that ends there.
    while (ok) {
        const std::size_t left = limit - data.size();
        const ssize_t n = ::read(fd, buffer, left >= sizeof buffer ? sizeof buffer : left + 1);
        if (n == 0) break;
        if (n < 0) {
            ok = errno == EINTR;
            continue;
        }
        data.append(buffer, static_cast<std::size_t>(n));
        ok = data.size() <= limit;
    }
    ::close(fd);
    if (!ok) return std::nullopt;
    return data;
}

std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit) {
    return ReadSmallFileAt(AT_FDCWD, path, limit);
}

}  // namespace tarvento
