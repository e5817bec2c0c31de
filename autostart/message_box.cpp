#include "autostart/message_box.h"

#include <cerrno>
#include <string_view>
#include <system_error>
#include <filesystem>

namespace tarvento {

std::string ApplicationName() {
    std::string path;
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        path = exe.string();
        // The kernel marks an executable replaced or removed since it started.
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

}  // namespace tarvento
