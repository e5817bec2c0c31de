// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/program_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

extern char** environ;

namespace tarvento::testing {

namespace {

std::string Slurp(int fd) {
    std::string text;
    char buffer[4096];
    lseek(fd, 0, SEEK_SET);
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    return text;
}

int TempFile() {
    char name[] = "/tmp/tarvento-run-XXXXXX";
    const int fd = mkstemp(name);
    unlink(name);
    return fd;
}

}  // namespace

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& set,
                         const std::vector<std::string>& unset, double limitSeconds) {
    ProgramResult result;
    const int out = TempFile();
    const int err = TempFile();
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto& name : unset) unsetenv(name.c_str());
        for (const auto& [name, value] : set) setenv(name.c_str(), value.c_str(), 1);
        const int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execve(program.c_str(), argv.data(), environ);
        _exit(127);
    }
    int status = 0;
    for (;;) {
        if (waitpid(pid, &status, WNOHANG) == pid) break;
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (elapsed > limitSeconds) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = Slurp(out);
    result.err = Slurp(err);
    close(out);
    close(err);
    return result;
}

PrivateXServer::PrivateXServer() {
    if (access("/usr/bin/Xvfb", X_OK) != 0) return;
    // A display number of its own, drawn at random far above the usual ones, rather than
    // the first free one: tests start and stop X servers side by side, and a server that
    // took the number another had just left could lose its socket to that one's exit.
    std::random_device random;
    for (int attempt = 0; attempt < 8 && display_.empty(); ++attempt) {
        const std::string number = std::to_string(200 + random() % 30000);
        const std::string lock = "/tmp/.X" + number + "-lock";
        if (access(lock.c_str(), F_OK) == 0) continue;
        int pipefd[2];
        if (pipe(pipefd) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(pipefd[0]);
            const int devnull = open("/dev/null", O_RDWR);
            dup2(devnull, 0);
            dup2(devnull, 1);
            dup2(devnull, 2);
            const std::string display = ":" + number;
            const std::string fd = std::to_string(pipefd[1]);
            execl("/usr/bin/Xvfb", "Xvfb", display.c_str(), "-displayfd", fd.c_str(), "-screen",
                  "0", "1024x768x24", "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(pipefd[1]);
        // Xvfb writes the display number once it accepts connections; it writes nothing
        // when it could not take the number.
        pollfd p{pipefd[0], POLLIN, 0};
        std::string written;
        while (poll(&p, 1, 10000) > 0) {
            char c;
            if (read(pipefd[0], &c, 1) != 1 || c == '\n') break;
            written += c;
        }
        close(pipefd[0]);
        if (written == number) {
            display_ = ":" + number;
        } else if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
}

PrivateXServer::~PrivateXServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

}  // namespace tarvento::testing
