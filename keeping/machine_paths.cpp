// SPDX-License-Identifier: GPL-3.0-or-later
#include "keeping/machine_paths.h"

#include <cstdlib>

namespace tarvento {

namespace {

std::string Env(const char* name) {
    const char* value = ::secure_getenv(name);
    return value != nullptr && value[0] == '/' ? value : "";
}

}  // namespace

MachinePaths MachinePaths::FromEnvironment() {
    const std::string root = Env("TARVENTO_MACHINE_ROOT");
    // The services are told their folders by systemd (StateDirectory=, RuntimeDirectory=).
    std::string state = Env("STATE_DIRECTORY");
    if (state.empty()) state = root + "/var/lib/tarvento";
    std::string runtime = Env("RUNTIME_DIRECTORY");
    if (runtime.empty()) runtime = root + "/run/tarvento-sleep";
    return {root + "/etc/tarvento/boot-clocks", state + "/last-apply", state + "/firmware-clocks",
            runtime + "/pll-words", root.empty() ? "/proc" : root + "/proc"};
}

}  // namespace tarvento
