// SPDX-License-Identifier: GPL-3.0-or-later
// The XDG base folders as the desktop resolves them, and the lists they come in.
#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/split_list.h"
#include "platform/xdg_folders.h"
#include "tests/support/temp_folder.h"

namespace tarvento {
namespace {

using namespace testing;

TEST(SplitList, KeepsTheOrderAndLeavesOutEmptyEntries) {
    using List = std::vector<std::string>;
    EXPECT_EQ(SplitList("", ':'), List{});
    EXPECT_EQ(SplitList(":::", ':'), List{});
    EXPECT_EQ(SplitList("/usr/bin", ':'), List{"/usr/bin"});
    EXPECT_EQ(SplitList(":/a::b:", ':'), (List{"/a", "b"}));
    EXPECT_EQ(SplitList("KDE;GNOME;", ';'), (List{"KDE", "GNOME"}));
}

std::string AccountHome() {
    const passwd* entry = ::getpwuid(::getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

TEST(XdgFolders, UserBaseFoldersFallBackAlikeToTheHomeFolder) {
    const std::string account = AccountHome();
    ASSERT_FALSE(account.empty());
    const struct {
        const char* home;
        const char* config;
        const char* state;
        std::optional<std::string> configFolder, stateFolder;
    } cases[] = {
        {"/home/owner", nullptr, nullptr, "/home/owner/.config", "/home/owner/.local/state"},
        {"/home/owner/", "", "", "/home/owner/.config", "/home/owner/.local/state"},
        {"/home/owner", "/cfg//", "/st/", "/cfg", "/st"},
        {"/home/owner", "relative", "relative", "/home/owner/.config", "/home/owner/.local/state"},
        {"/home/owner", "/", "/", "", ""},  // the root folder: joined with "/name"
        // No usable HOME: the account's own home folder, for both.
        {nullptr, nullptr, nullptr, account + "/.config", account + "/.local/state"},
        {"relative", nullptr, "/st", account + "/.config", "/st"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.home ? c.home : "(no HOME)") << " "
                                          << (c.config ? c.config : "-") << " "
                                          << (c.state ? c.state : "-"));
        ScopedEnv home("HOME", c.home);
        ScopedEnv config("XDG_CONFIG_HOME", c.config);
        ScopedEnv state("XDG_STATE_HOME", c.state);
        EXPECT_EQ(XdgHomeFolder(XdgBase::Config), c.configFolder);
        EXPECT_EQ(XdgHomeFolder(XdgBase::State), c.stateFolder);
    }
}

TEST(XdgFolders, MachineFoldersAreTheAbsoluteEntriesOrTheDefault) {
    using List = std::vector<std::string>;
    const struct {
        const char* dirs;
        List folders;
    } cases[] = {
        {nullptr, {"/etc/xdg"}},
        {"", {"/etc/xdg"}},
        {"relative:also", {"/etc/xdg"}},
        {"/opt/xdg/::relative:/etc/xdg", {"/opt/xdg", "/etc/xdg"}},
        {"/", {""}},
    };
    for (const auto& c : cases) {
        ScopedEnv dirs("XDG_CONFIG_DIRS", c.dirs);
        EXPECT_EQ(XdgConfigFolders(), c.folders) << (c.dirs ? c.dirs : "(unset)");
    }
}

}  // namespace
}  // namespace tarvento
