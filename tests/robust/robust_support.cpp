// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/robust/robust_support.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string_view>
#include <system_error>

namespace tarvento::testing {

namespace fs = std::filesystem;

const std::vector<std::string> kDisplayVariables = {"DISPLAY", "WAYLAND_DISPLAY",
                                                    "QT_QPA_PLATFORM"};

namespace {

std::size_t DigestOf(const fs::path& file, uint64_t size) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return 0;
    std::string bytes(size, '\0');
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, bytes.data() + done, size - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(done);
    return std::hash<std::string_view>{}(bytes);
}

std::string Describe(const TreeEntry& e) {
    std::ostringstream s;
    s << e.kind << " mode " << std::oct << e.mode << std::dec << " size " << e.size;
    return s.str();
}

}  // namespace

TreeSnapshot SnapshotTree(const fs::path& root) {
    TreeSnapshot snapshot;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) != 0) continue;
        TreeEntry e;
        e.mode = st.st_mode & 07777;
        if (S_ISREG(st.st_mode)) {
            e.kind = 'f';
            e.size = static_cast<uint64_t>(st.st_size);
            e.digest = DigestOf(it->path(), e.size);
        } else if (S_ISDIR(st.st_mode)) {
            e.kind = 'd';
        } else if (S_ISLNK(st.st_mode)) {
            e.kind = 'l';
        } else if (S_ISFIFO(st.st_mode)) {
            e.kind = 'p';
        }
        snapshot[fs::relative(it->path(), root).string()] = e;
    }
    return snapshot;
}

std::string DescribeChanges(const TreeSnapshot& before, const TreeSnapshot& after) {
    std::string text;
    for (const auto& [path, e] : before) {
        auto it = after.find(path);
        if (it == after.end()) {
            text += "vanished: " + path + "\n";
        } else if (!(it->second == e)) {
            text += "changed: " + path + " (" + Describe(e) + " -> " + Describe(it->second) +
                    (it->second.digest != e.digest ? ", bytes differ" : "") + ")\n";
        }
    }
    for (const auto& [path, e] : after)
        if (before.find(path) == before.end()) text += "appeared: " + path + "\n";
    return text;
}

void OpenToEveryone(const fs::path& root) {
    std::error_code ec;
    ::chmod(root.c_str(), 0755);
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) != 0 || S_ISLNK(st.st_mode)) continue;
        ::chmod(it->path().c_str(), (st.st_mode & 07777) | (S_ISDIR(st.st_mode) ? 0555 : 0444));
    }
}

void WriteText(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

std::optional<ChildResult> RunInChild(const std::function<int(int outFd)>& body, bool asNobody) {
    constexpr int kCouldNotDrop = 125;
    int pipefd[2];
    if (::pipe2(pipefd, O_CLOEXEC) != 0) return std::nullopt;
    const pid_t child = ::fork();
    if (child < 0) return std::nullopt;
    if (child == 0) {
        ::close(pipefd[0]);
        if (asNobody && ::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                ::_exit(kCouldNotDrop);
        }
        ::_exit(body(pipefd[1]));
    }
    ::close(pipefd[1]);
    ChildResult result;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipefd[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        result.out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipefd[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
        if (asNobody && result.status == kCouldNotDrop) return std::nullopt;
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

std::string UnprivilegedProgram() {
    return ::geteuid() == 0 ? StagedProgram().string() : std::string(TARVENTO_PROGRAM);
}

std::optional<ProgramResult> RunProgramUnprivileged(const std::vector<std::string>& args,
                                                    const std::map<std::string, std::string>& set,
                                                    const std::vector<std::string>& unset,
                                                    const fs::path& groupFile) {
    if (!groupFile.empty() && !CanStageGroupDatabase()) return std::nullopt;
    std::vector<std::string> all;
    if (::geteuid() == 0) {
        if (::access("/usr/bin/setpriv", X_OK) == 0) {
            all = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        } else if (::access("/usr/sbin/runuser", X_OK) == 0) {
            all = {"/usr/sbin/runuser", "-u", "nobody", "--"};
        } else {
            return std::nullopt;
        }
    }
    all.push_back(UnprivilegedProgram());
    all.insert(all.end(), args.begin(), args.end());
    if (!groupFile.empty()) all = SeeingGroupDatabase(groupFile, all);
    const std::string program = all.front();
    all.erase(all.begin());
    return RunProgram(program, all, set, unset);
}

bool WriteGroupDatabase(const fs::path& file, const std::optional<StagedGroup>& group) {
    std::ifstream in("/etc/group");
    std::ofstream out(file, std::ios::trunc);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("tarvento:", 0) != 0) out << line << "\n";
    if (group) out << "tarvento:x:" << group->gid << ":" << group->members << "\n";
    out.close();
    return out && ::chmod(file.c_str(), 0644) == 0;
}

std::vector<std::string> SeeingGroupDatabase(const fs::path& groupFile, const std::vector<std::string>& command) {
    std::vector<std::string> all = {"/bin/sh", "-c", "mount --bind \"$0\" /etc/group && exec \"$@\"",
                                    groupFile.string()};
    all.insert(all.end(), command.begin(), command.end());
    return InPrivateMounts(all);
}

bool CanStageGroupDatabase() { return WhyNoPrivateMounts().empty(); }

gid_t UnusedGid(gid_t from) {
    gid_t gid = from;
    while (::getgrgid(gid) != nullptr) ++gid;
    return gid;
}

}  // namespace tarvento::testing
