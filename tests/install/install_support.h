// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/program_runner.h"
#include "tests/support/temp_folder.h"

namespace tarvento::testing {

// The full path of a tool found in PATH or the usual system folders; empty when absent.
std::string FindTool(const std::string& name);


// The build tree installed with DESTDIR into a scratch folder, with the prefix /usr.
struct StagedInstall {
    TempFolder stage{0755};  // everyone may enter it
    ProgramResult result;  // what `cmake --install` said
    std::filesystem::path Destdir() const { return stage.Path() / "root"; }
    std::filesystem::path Program() const { return Destdir() / "usr/bin/tarvento"; }
    std::filesystem::path Libraries() const { return Destdir() / "usr/lib/tarvento"; }
    std::filesystem::path Manifest() const { return TARVENTO_BINARY_DIR "/install_manifest.txt"; }
};
void InstallBuildTree(StagedInstall& install);

// Runs `program` as nobody (through setpriv, from root) with exactly the supplementary
// group `group`, or none; seeing `groupFile` as /etc/group when one is given (in a private
// mount namespace: the machine's own file is never touched).
ProgramResult RunAsNobody(const std::string& program, const std::vector<std::string>& args,
                          const std::map<std::string, std::string>& set,
                          const std::vector<std::string>& unset, std::optional<gid_t> group,
                          double limitSeconds = 20, const std::filesystem::path& groupFile = {});

// Lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string& text);

}  // namespace tarvento::testing
