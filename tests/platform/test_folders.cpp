// SPDX-License-Identifier: GPL-3.0-or-later
// The one way the program makes the folders it keeps files in.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/folders.h"
#include "tests/support/temp_folder.h"

namespace tarvento {
namespace {

using namespace testing;

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST(Folders, TheFolderOfAPath) {
    const struct {
        const char* path;
        const char* folder;
    } cases[] = {{"/a/b/c", "/a/b"}, {"/c", "/"}, {"c", "."}, {"a/c", "a"}, {"/a/b/", "/a/b"}};
    for (const auto& c : cases) EXPECT_EQ(FolderOf(c.path), c.folder) << c.path;
}

TEST(Folders, MissingLevelsGetExactlyTheirModeAndOthersKeepTheirs) {
    TempFolder dir;
    std::filesystem::create_directory(dir / "kept");
    ::chmod((dir / "kept").c_str(), 0750);
    // The umask would take group and other bits of a 0755 folder away; a folder made here
    // has the mode asked for all the same.
    const mode_t old = ::umask(077);
    const auto made = MakeFolders(dir / "kept/a/b", 0755);
    const auto again = MakeFolders(dir / "kept/a/b", 0700);
    ::umask(old);
    EXPECT_FALSE(made);
    EXPECT_FALSE(again) << "a folder that is there is fine";
    EXPECT_EQ(ModeOf(dir / "kept"), 0750u);
    EXPECT_EQ(ModeOf(dir / "kept/a"), 0755u);
    EXPECT_EQ(ModeOf(dir / "kept/a/b"), 0755u) << "an existing folder keeps its mode";
}

TEST(Folders, AFailureSaysWhichStepAndWhere) {
    TempFolder dir;
    WriteFile(dir / "file", "");
    using Step = FolderFailure::Step;
    const struct {
        std::string path;
        Step step;
        std::string where;
        int error;
    } cases[] = {
        {"relative/folder", Step::NotAbsolute, "relative/folder", 0},
        {"", Step::NotAbsolute, "", 0},
        {dir / "file/x", Step::Make, dir / "file/x", ENOTDIR},
        {dir / "file", Step::NotAFolder, dir / "file", 0},
    };
    for (const auto& c : cases) {
        const auto failure = MakeFolders(c.path, 0755);
        ASSERT_TRUE(failure) << c.path;
        EXPECT_EQ(failure->step, c.step) << c.path;
        EXPECT_EQ(failure->path, c.where) << c.path;
        EXPECT_EQ(failure->error, c.error) << c.path;
    }
}

}  // namespace
}  // namespace tarvento
