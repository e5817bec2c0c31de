// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/install/install_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "tests/robust/robust_support.h"

namespace tarvento::testing {

namespace fs = std::filesystem;

std::string FindTool(const std::string& name) {
    std::string path = "/usr/sbin:/usr/bin:/sbin:/bin";
    if (const char* env = std::getenv("PATH"); env != nullptr && *env != '\0') path = std::string(env) + ":" + path;
    std::istringstream folders(path);
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (folder.empty() || folder[0] != '/') continue;  // never the current folder
        const fs::path candidate = fs::path(folder) / name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return {};
}

void InstallBuildTree(StagedInstall& install) {
    install.result = RunProgram(TARVENTO_CMAKE, {"--install", TARVENTO_BINARY_DIR, "--prefix", "/usr"},
                                {{"DESTDIR", install.Destdir().string()}}, {}, 120);
    // Everyone may run what was installed, as from a real prefix.
    ::chmod(install.Destdir().c_str(), 0755);
}

ProgramResult RunAsNobody(const std::string& program, const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& set,
                          const std::vector<std::string>& unset, std::optional<gid_t> group,
                          double limitSeconds, const fs::path& groupFile) {
    std::vector<std::string> all = {FindTool("setpriv"), "--reuid=65534", "--regid=65534"};
    all.push_back(group ? "--groups=" + std::to_string(*group) : "--clear-groups");
    all.push_back(program);
    all.insert(all.end(), args.begin(), args.end());
    if (!groupFile.empty()) all = SeeingGroupDatabase(groupFile, all);
    const std::string tool = all.front();
    all.erase(all.begin());
    // The tests' own record folder is root's: nobody keeps its record under its HOME.
    std::vector<std::string> without = unset;
    if (!set.count("XDG_STATE_HOME")) without.push_back("XDG_STATE_HOME");
    return RunProgram(tool, all, set, without, limitSeconds);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace tarvento::testing
