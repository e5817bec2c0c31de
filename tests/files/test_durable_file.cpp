// SPDX-License-Identifier: GPL-3.0-or-later
// The files the keeping of clocks writes (the guard's record, the boot clocks, the words
// kept across sleep): whole or not at all, with nothing left beside them.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "files/durable_file.h"
#include "tests/support/temp_folder.h"

namespace tarvento {
namespace {

using namespace testing;

TEST(DurableFile, AWriteReplacesTheFileWholeAndLeavesNothingBeside) {
    TempFolder dir;
    const std::string path = dir / "last-apply";
    std::string error;
    for (const std::string& contents : {std::string("first\n"), std::string(), std::string(10000, 'x')}) {
        ASSERT_TRUE(WriteFileDurably(path, contents, 0640, error)) << error;
        EXPECT_EQ(ReadFile(path), contents);
        EXPECT_EQ(FileNames(dir.Path()), std::set<std::string>{"last-apply"});
    }
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(DurableFile, AFailedWriteSaysWhyAndTouchesNothing) {
    TempFolder dir;
    std::string error;
    // No such folder: nothing is made there, and the error names the file.
    EXPECT_FALSE(WriteFileDurably(dir / "missing/record", "new\n", 0644, error));
    EXPECT_NE(error.find(dir / "missing/record"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
    // A folder where the file should be stays as it was, with no temporary file beside it.
    std::filesystem::create_directory(dir / "record");
    error.clear();
    EXPECT_FALSE(WriteFileDurably(dir / "record", "new\n", 0644, error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(std::filesystem::is_directory(dir / "record"));
    EXPECT_EQ(FileNames(dir.Path()), std::set<std::string>{"record"});
}

TEST(DurableFile, RemovingAFile) {
    TempFolder dir;
    std::string error;
    EXPECT_TRUE(RemoveFileDurably(dir / "never-was", error)) << error;
    WriteFile(dir / "words", "x");
    EXPECT_TRUE(RemoveFileDurably(dir / "words", error)) << error;
    EXPECT_FALSE(std::filesystem::exists(dir / "words"));
}

}  // namespace
}  // namespace tarvento
