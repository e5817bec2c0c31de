// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/machine_paths.h"

#include <sys/stat.h>
#include <syslog.h>

#include <cstdio>
#include <cstdlib>

#include "autostart/user_texts.h"
#include "chip/adapter_discovery.h"

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
    return {root + "/etc/tarvento/boot-clocks", state + "/last-apply", runtime + "/pll-words",
            root.empty() ? "/proc" : root + "/proc"};
}

bool RecognizeCard(ChipState& chip, RecognizedChip& recognized, std::string& reason) {
    DisplayAdapter adapter;
    if (!FindDisplayAdapter(chip.hardware, chip.discovery, adapter)) {
        reason = ReasonText(DiscoveryFailureReason(chip.hardware));
        return false;
    }
    switch (RecognizeChip(chip, adapter.vendorId, adapter.deviceId, recognized)) {
    case Recognition::Recognized: return true;
    case Recognition::Unsupported:
        reason = UnsupportedAdapterText(adapter.vendorId, adapter.deviceId);
        return false;
    case Recognition::RegisterReadFailed: reason = ReasonText(recognized.failureReason); return false;
    }
    return false;
}

void TellJournal(const std::string& text) {
    // JOURNAL_STREAM holds "device:inode" of the journal's stream when standard error
    // was connected to it.
    if (const char* stream = std::getenv("JOURNAL_STREAM")) {
        struct stat st {};
        unsigned long long device = 0, inode = 0;
        if (std::sscanf(stream, "%llu:%llu", &device, &inode) == 2 && ::fstat(2, &st) == 0 &&
            st.st_dev == device && st.st_ino == inode) {
            return;
        }
    }
    ::openlog("tarvento", LOG_PID, LOG_USER);
    ::syslog(LOG_WARNING, "%s", text.c_str());
    ::closelog();
}

}  // namespace tarvento
