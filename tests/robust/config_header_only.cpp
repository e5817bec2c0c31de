// SPDX-License-Identifier: GPL-3.0-or-later
// Preloaded into the program by the tests: makes every read of a file named `config`
// under $TARVENTO_HEADER_ONLY_ROOT stop at byte 64, as Linux answers a reader without
// CAP_SYS_ADMIN (the file keeps its full size; a read past byte 63 returns nothing).

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr off64_t kAnswered = 64;

bool IsCutConfig(int fd) {
    const char* root = std::getenv("TARVENTO_HEADER_ONLY_ROOT");
    if (root == nullptr || *root == '\0') return false;
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char path[4096];
    const int saved = errno;
    const ssize_t n = readlink(link, path, sizeof path - 1);
    errno = saved;
    if (n <= 0) return false;
    path[n] = '\0';
    const size_t rootLength = std::strlen(root);
    const char* slash = std::strrchr(path, '/');
    return std::strncmp(path, root, rootLength) == 0 && path[rootLength] == '/' && slash != nullptr &&
           std::strcmp(slash + 1, "config") == 0;
}

// How much of `count` bytes at `offset` the kernel would answer.
size_t Answered(off64_t offset, size_t count) {
    if (offset >= kAnswered) return 0;
    const auto left = static_cast<size_t>(kAnswered - offset);
    return count < left ? count : left;
}

template <typename F>
F Next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

ssize_t pread(int fd, void* buf, size_t count, off_t offset) {
    static auto real = Next<ssize_t (*)(int, void*, size_t, off_t)>("pread");
    if (IsCutConfig(fd)) count = Answered(offset, count);
    return count == 0 ? 0 : real(fd, buf, count, offset);
}

// What a program built with 64-bit file offsets calls on a 32-bit machine.
ssize_t pread64(int fd, void* buf, size_t count, off64_t offset) {
    static auto real = Next<ssize_t (*)(int, void*, size_t, off64_t)>("pread64");
    if (IsCutConfig(fd)) count = Answered(offset, count);
    return count == 0 ? 0 : real(fd, buf, count, offset);
}

ssize_t read(int fd, void* buf, size_t count) {
    static auto real = Next<ssize_t (*)(int, void*, size_t)>("read");
    if (count != 0 && IsCutConfig(fd)) {
        count = Answered(lseek64(fd, 0, SEEK_CUR), count);
        if (count == 0) return 0;
    }
    return real(fd, buf, count);
}

}  // extern "C"
