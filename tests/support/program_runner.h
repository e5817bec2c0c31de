// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarvento::testing {

struct ProgramResult {
    int status = -1;        // exit status, or -1 when killed
    bool timedOut = false;  // had to be killed
    std::string out;
    std::string err;
    double seconds = 0;
};

// Runs `program` with `args` in a child process whose environment is the test's own with
// `unset` removed and `set` applied; gives up (SIGKILL) after `limitSeconds`.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& set,
                         const std::vector<std::string>& unset = {},
                         double limitSeconds = 20);

// A private X server (Xvfb) for the length of a test; Display() is empty when Xvfb could
// not be started.
class PrivateXServer {
public:
    PrivateXServer();
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;
    const std::string& Display() const { return display_; }

private:
    int pid_ = -1;
    std::string display_;
};

}  // namespace tarvento::testing
