// SPDX-License-Identifier: GPL-3.0-or-later
#include "chip/register_access_facts.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <vector>

namespace tarvento {

namespace {

bool ProcessHoldsGroup(gid_t gid) {
    if (getegid() == gid || getgid() == gid) return true;
    const int count = getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

// What the group database says, which is what a new login will get.
bool UserListedInGroup(gid_t gid) {
    const passwd* pw = getpwuid(getuid());
    if (pw == nullptr || pw->pw_name == nullptr) return false;
    const std::string name = pw->pw_name;
    const gid_t primary = pw->pw_gid;
    if (primary == gid) return true;
    int count = 32;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    if (getgrouplist(name.c_str(), primary, groups.data(), &count) < 0) {
        if (count <= 0 || count > 65536) return false;
        groups.resize(static_cast<size_t>(count));
        if (getgrouplist(name.c_str(), primary, groups.data(), &count) < 0) return false;
    }
    groups.resize(static_cast<size_t>(count));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

}  // namespace

std::string KernelLockdownMode() {
    std::ifstream file("/sys/kernel/security/lockdown");
    std::string text;
    std::getline(file, text);
    const size_t open = text.find('[');
    const size_t close = text.find(']', open);
    if (open == std::string::npos || close == std::string::npos) return {};
    std::string mode = text.substr(open + 1, close - open - 1);
    return mode == "none" ? std::string() : mode;
}

RegisterAccessFacts GatherRegisterAccessFacts(const std::string& path, RegisterAccessFacts::Step step,
                                              int error) {
    RegisterAccessFacts facts;
    facts.path = path;
    facts.step = step;
    facts.error = error;
    if (step == RegisterAccessFacts::Step::Map && error == EPERM) facts.lockdown = KernelLockdownMode();
    const group* gr = getgrnam(kRegisterGroup);
    if (gr == nullptr) return facts;
    const gid_t gid = gr->gr_gid;
    facts.groupExists = true;
    struct stat st {};
    facts.fileInGroup = lstat(path.c_str(), &st) == 0 && st.st_gid == gid;
    facts.processInGroup = ProcessHoldsGroup(gid);
    facts.userInGroup = facts.processInGroup || UserListedInGroup(gid);
    return facts;
}

}  // namespace tarvento
