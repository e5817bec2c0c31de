// SPDX-License-Identifier: GPL-3.0-or-later
#include "chip/running_program.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace tarvento {

namespace {

// The kernel's name for the executable; it already resolves every link on the way, but
// marks a file replaced or removed since the start with " (deleted)". Empty when unreadable.
std::string ExecutableLink() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

}  // namespace

std::string ProgramPath() {
    const std::string link = ExecutableLink();
    // A path marked " (deleted)" names no file, and realpath says so.
    char path[PATH_MAX];
    if (link.empty() || ::realpath(link.c_str(), path) == nullptr) return {};
    return path;
}

std::string ProgramName() {
    std::string path = ExecutableLink();
    if (!path.empty()) {
        constexpr std::string_view kDeleted = " (deleted)";
        if (path.size() > kDeleted.size() && path.ends_with(kDeleted)) {
            path.resize(path.size() - kDeleted.size());
        }
    } else if (program_invocation_name != nullptr) {
        path = program_invocation_name;
    }

    const size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) name.resize(dot);
    return name;
}

std::string DiagnosticPrefix() { return ProgramName() + ": "; }

}  // namespace tarvento
