// SPDX-License-Identifier: GPL-3.0-or-later
// The one reader of small files: sysfs attributes, the records the program keeps, the
// autostart entry. What it takes, what it refuses, and that nothing in a file's place can
// make it wait.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/small_file.h"
#include "tests/support/temp_folder.h"

namespace tarvento {
namespace {

using namespace testing;

TEST(SmallFile, TakesARegularFileUpToItsLimitAndNothingElse) {
    TempFolder dir;
    WriteFile(dir / "words", std::string(4096, 'w'));
    WriteFile(dir / "empty", "");
    std::filesystem::create_symlink(dir / "words", dir / "link");
    std::filesystem::create_directory(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    // A writer holding the FIFO open: the reader still must not wait for an end of file.
    const int writer = ::open((dir / "fifo").c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);

    using Kind = SmallFileFailure::Kind;
    const struct {
        std::string path;
        std::size_t limit;
        FollowLinks links;
        std::optional<std::string> read;
        Kind why;  // when nothing is read
    } cases[] = {
        {dir / "words", 4096, FollowLinks::No, std::string(4096, 'w'), {}},
        {dir / "words", 4095, FollowLinks::No, std::nullopt, Kind::TooLarge},
        {dir / "words", SIZE_MAX, FollowLinks::No, std::string(4096, 'w'), {}},
        {dir / "empty", 0, FollowLinks::No, std::string(), {}},
        {dir / "missing", 4096, FollowLinks::No, std::nullopt, Kind::Missing},
        {dir / "link", 4096, FollowLinks::No, std::nullopt, Kind::Link},
        {dir / "link", 4096, FollowLinks::Yes, std::string(4096, 'w'), {}},
        {dir / "folder", 4096, FollowLinks::No, std::nullopt, Kind::NotRegularFile},
        {dir / "fifo", 4096, FollowLinks::No, std::nullopt, Kind::NotRegularFile},
        {"/dev/zero", 4096, FollowLinks::Yes, std::nullopt, Kind::NotRegularFile},  // would never end
        {dir / "words/below", 4096, FollowLinks::No, std::nullopt, Kind::Unreadable},
    };
    for (const auto& c : cases) {
        SmallFileFailure why{Kind::Unreadable, -1};
        EXPECT_EQ(ReadSmallFileAt(AT_FDCWD, c.path, c.limit, c.links, &why), c.read)
            << c.path << " limit " << c.limit;
        if (!c.read) {
            EXPECT_EQ(why.kind, c.why) << c.path;
            EXPECT_EQ(why.error, c.why == Kind::Unreadable ? ENOTDIR : 0) << c.path;
        }
    }
    EXPECT_EQ(ReadSmallFile(dir / "words"), std::string(4096, 'w')) << "4 KiB by default";
    // The same names in an open folder.
    const int folder = ::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    EXPECT_EQ(ReadSmallFileAt(folder, "empty", 16), std::string());
    EXPECT_EQ(ReadSmallFileAt(folder, "fifo", 16), std::nullopt);
    ::close(folder);
    ::close(writer);
}

}  // namespace
}  // namespace tarvento
