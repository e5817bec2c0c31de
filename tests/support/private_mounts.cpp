// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/private_mounts.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tarvento::testing {

namespace {

std::string Failed(const std::string& what) { return what + ": " + std::strerror(errno); }

// The mount points this process sees, as /proc/self/mountinfo names them (its fifth field,
// with the kernel's octal escapes undone).
std::vector<std::string> MountPoints() {
    std::vector<std::string> points;
    std::ifstream in("/proc/self/mountinfo");
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string field;
        for (int i = 0; i < 5 && fields >> field; ++i) {
        }
        std::string point;
        for (std::size_t i = 0; i < field.size(); ++i) {
            if (field[i] == '\\' && i + 3 < field.size()) {
                point += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
                i += 3;
            } else {
                point += field[i];
            }
        }
        if (!point.empty()) points.push_back(point);
    }
    return points;
}

// The root is not a mount point: a chroot onto a plain folder, as package builders make.
// The mount that holds it lies outside the chroot, where no path reaches it, so its
// propagation cannot be changed, and whatever is mounted on it would show on the machine
// too. So the tree is copied instead, privately, and the process moves into the copy: the
// same files at the same paths. The copy needs a place to go that the machine does not
// see: a tmpfs over one of the chroot's own mount points (/proc, /dev, ...), which can be
// made private, because it is a mount point; the copy then loses that tmpfs again.
std::string MoveIntoPrivateCopy() {
    const std::vector<std::string> points = MountPoints();
    if (points.empty()) return "the root is not a mount point, and no mount point can be read (is /proc mounted?)";
    std::string why = "the root is not a mount point, and none of the mount points inside can take its copy";
    for (const std::string& anchor : points) {
        if (anchor == "/") continue;
        if (::mount(nullptr, anchor.c_str(), nullptr, MS_PRIVATE, nullptr) != 0) {
            why = Failed("cannot make " + anchor + " private");
            continue;
        }
        if (::mount("tarvento-private", anchor.c_str(), "tmpfs", 0, "mode=0700") != 0) {
            why = Failed("cannot mount a tmpfs over " + anchor);
            continue;
        }
        const std::string copy = anchor + "/root";
        if (::mkdir(copy.c_str(), 0755) != 0) return Failed("cannot make " + copy);
        if (::mount("/", copy.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0)
            return Failed("cannot copy the root's mounts onto " + copy);
        if (::mount(nullptr, copy.c_str(), nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return Failed("cannot make the copy at " + copy + " private");
        // The copy took the tmpfs along, over its own anchor: under it is the real one.
        if (::umount2((copy + anchor).c_str(), MNT_DETACH) != 0)
            return Failed("cannot uncover " + anchor + " in the copy");
        char cwd[PATH_MAX];
        const bool hasCwd = ::getcwd(cwd, sizeof cwd) != nullptr;
        if (::chroot(copy.c_str()) != 0) return Failed("cannot move into the copy at " + copy);
        if (!hasCwd || ::chdir(cwd) != 0) ::chdir("/");
        return {};
    }
    return why;
}

}  // namespace

std::string EnterPrivateMounts() {
    if (::geteuid() != 0) return "a mount namespace of its own needs root";
    if (::unshare(CLONE_NEWNS) != 0) return Failed("cannot take a mount namespace of its own");
    // A new namespace shares the machine's mounts, and what is mounted on a shared mount
    // shows on the machine too, unless they are made private in it first.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0) return {};
    if (errno != EINVAL) return Failed("cannot make the mounts private");
    return MoveIntoPrivateCopy();
}

const std::string& WhyNoPrivateMounts() {
    static const std::string why = [] {
        int pipefd[2];
        if (::pipe2(pipefd, O_CLOEXEC) != 0) return Failed("pipe");
        const pid_t child = ::fork();
        if (child < 0) return Failed("fork");
        if (child == 0) {
            ::close(pipefd[0]);
            const std::string text = EnterPrivateMounts();
            const ssize_t written = ::write(pipefd[1], text.data(), text.size());
            ::_exit(written == static_cast<ssize_t>(text.size()) ? 0 : 1);
        }
        ::close(pipefd[1]);
        std::string text;
        char buffer[512];
        for (ssize_t n; (n = ::read(pipefd[0], buffer, sizeof buffer)) != 0;) {
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(pipefd[0]);
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        if (text.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
            text = "the trial of a private mount namespace ended with status " + std::to_string(status);
        return text;
    }();
    return why;
}

std::vector<std::string> InPrivateMounts(const std::vector<std::string>& command) {
    std::vector<std::string> all = {TARVENTO_BINARY_DIR "/bin/tarvento-private-mounts"};
    all.insert(all.end(), command.begin(), command.end());
    return all;
}

}  // namespace tarvento::testing
