// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tarvento {

std::optional<std::string> ReadSmallFileAt(int folderFd, const std::string& name, std::size_t limit,
                                           FollowLinks links, SmallFileFailure* why) {
    using Kind = SmallFileFailure::Kind;
    SmallFileFailure ignored;
    SmallFileFailure& failure = why != nullptr ? *why : ignored;
    auto fail = [&](Kind kind, int error = 0) {
        failure = {kind, error};
        return std::nullopt;
    };
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (links == FollowLinks::No) flags |= O_NOFOLLOW;
    const int fd = ::openat(folderFd, name.c_str(), flags);
    if (fd < 0) {
        if (errno == ENOENT) return fail(Kind::Missing);
        if (errno == ELOOP && links == FollowLinks::No) return fail(Kind::Link);
        return fail(Kind::Unreadable, errno);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(Kind::NotRegularFile);
    }
    std::string data;
    char buffer[4096];
    // One byte past the limit tells a file that is larger from one that ends there.
    for (;;) {
        const std::size_t left = limit - data.size();
        const ssize_t n = ::read(fd, buffer, left >= sizeof buffer ? sizeof buffer : left + 1);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            return fail(Kind::Unreadable, error);
        }
        data.append(buffer, static_cast<std::size_t>(n));
        if (data.size() > limit) {
            ::close(fd);
            return fail(Kind::TooLarge);
        }
    }
    ::close(fd);
    return data;
}

std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit,
                                         SmallFileFailure* why) {
    return ReadSmallFileAt(AT_FDCWD, path, limit, FollowLinks::No, why);
}

}  // namespace tarvento
