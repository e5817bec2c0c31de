// SPDX-License-Identifier: GPL-3.0-or-later
// What the running program knows of itself: its real path, and the caption of the messages
// ApplyClocks shows, the executable's name. Other names are tried by running a copy of
// this test program under that name.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "chip/running_program.h"
#include "tests/support/temp_folder.h"

extern char** environ;

namespace tarvento {
namespace {

namespace fs = std::filesystem;

constexpr const char* kOutVar = "TARVENTO_CAPTION_OUT";
constexpr const char* kDeleteVar = "TARVENTO_CAPTION_DELETE_SELF";

// In a copy started by a test below: remove the copy if asked, write the caption, and
// leave before any test runs.
const bool kChildDone = [] {
    const char* out = std::getenv(kOutVar);
    if (out == nullptr) return false;
    if (const char* self = std::getenv(kDeleteVar)) fs::remove(self);
    std::ofstream(out) << ProgramName();
    std::_Exit(0);
}();

std::string CaptionAs(const std::string& fileName, bool deleteFirst) {
    const testing::TempFolder folder;
    const fs::path& dir = folder.Path();
    const fs::path copy = dir / fileName;
    const fs::path out = dir / "caption.txt";
    fs::copy_file(fs::read_symlink("/proc/self/exe"), copy, fs::copy_options::overwrite_existing);
    fs::permissions(copy, fs::perms::owner_all);

    // The copy finds the core library where this program found it.
    Dl_info info{};
    EXPECT_NE(::dladdr(reinterpret_cast<void*>(&ProgramName), &info), 0);
    const std::string libDir = fs::path(info.dli_fname).parent_path().string();

    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    env.push_back(std::string(kOutVar) + "=" + out.string());
    env.push_back("LD_LIBRARY_PATH=" + libDir);
    if (deleteFirst) env.push_back(std::string(kDeleteVar) + "=" + copy.string());
    std::vector<char*> envp;
    for (auto& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string program = copy.string();
    char* argv[] = {program.data(), nullptr};

    pid_t pid = 0;
    std::string caption = "<not run>";
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()) == 0) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        std::ifstream in(out);
        caption.assign(std::istreambuf_iterator<char>(in), {});
    }
    return caption;
}

TEST(MessageCaption, IsTheRunningProgramsName) {
    ASSERT_FALSE(kChildDone);
    EXPECT_EQ(ProgramName(), "tarvento_chip_tests");
    // Every diagnostic on standard error starts with the same name.
    EXPECT_EQ(DiagnosticPrefix(), "tarvento_chip_tests: ");
}

TEST(ProgramPath, IsTheRunningExecutable) {
    const std::string path = ProgramPath();
    EXPECT_TRUE(path.starts_with("/")) << path;
    EXPECT_TRUE(path.ends_with("/tarvento_chip_tests")) << path;
}

TEST(MessageCaption, DropsTheExtensionFromTheLastDot) {
    EXPECT_EQ(CaptionAs("Tarvo.exe", false), "Tarvo");
    EXPECT_EQ(CaptionAs("tarvento.1.4.bin", false), "tarvento.1.4");
    EXPECT_EQ(CaptionAs("clock tuner", false), "clock tuner");
}

TEST(MessageCaption, SurvivesTheProgramFileBeingReplaced) {
    // The kernel then reports the path with " (deleted)" appended.
    EXPECT_EQ(CaptionAs("tarvento.old", true), "tarvento");
}

}  // namespace
}  // namespace tarvento
