// SPDX-License-Identifier: GPL-3.0-or-later
#include "keeping/xdg_autostart_store.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "keeping/autostart_entry.h"
#include "keeping/desktop_entry.h"
#include "tests/support/temp_folder.h"

namespace tarvento {
namespace {

using testing::FileNames;
using testing::ReadFile;
using testing::ScopedEnv;
using testing::TempFolder;
using testing::WriteFile;

constexpr const char* kEntry = "/usr/bin/tarvento RIVA_TNT 110 100";

mode_t Mode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// Runs `check` where permission bits bind. Root overrides them, so as root it runs in
// a child process that has become "nobody". Nothing when that cannot be arranged.
std::optional<bool> WithoutOverride(const std::function<bool()>& check) {
    if (::geteuid() != 0) return check();
    const pid_t child = ::fork();
    if (child < 0) return std::nullopt;
    if (child == 0) {
        constexpr id_t kNobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(2);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) > 1)
        return std::nullopt;
    return WEXITSTATUS(status) == 0;
}

class UmaskGuard {
public:
    explicit UmaskGuard(mode_t mask) : old_(::umask(mask)) {}
    ~UmaskGuard() { ::umask(old_); }

private:
    mode_t old_;
};

bool Write(XdgAutostartStore& store, const std::string& text) {
    if (!store.OpenToWrite()) return false;
    const bool ok = store.StoreEntry(text);
    store.Close();
    return ok;
}

std::optional<std::string> Read(XdgAutostartStore& store, std::size_t capacity = 4096) {
    if (!store.OpenToRead()) return std::nullopt;
    std::string text = "untouched";
    const bool ok = store.ReadEntry(text, capacity);
    store.Close();
    if (!ok) {
        EXPECT_EQ(text, "untouched");
        return std::nullopt;
    }
    return text;
}

TEST(XdgAutostartStore, MachineFoldersFromEnvironment) {
    using Folders = std::vector<std::string>;
    struct Case {
        const char* dirs;
        Folders folders;
    };
    const Case cases[] = {
        {nullptr, {"/etc/xdg/autostart"}},
        {"", {"/etc/xdg/autostart"}},
        {"::", {"/etc/xdg/autostart"}},
        {"relative/xdg", {"/etc/xdg/autostart"}},
        {"/srv/xdg:/etc/xdg", {"/srv/xdg/autostart", "/etc/xdg/autostart"}},
        {":/srv/xdg", {"/srv/xdg/autostart"}},
        {"relative/xdg:/srv/xdg/", {"/srv/xdg/autostart"}},
        {"/", {"/autostart"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dirs ? c.dirs : "(unset)");
        ScopedEnv env("XDG_CONFIG_DIRS", c.dirs);
        EXPECT_EQ(XdgAutostartStore::MachineFoldersFromEnvironment(), c.folders);
    }
}

TEST(XdgAutostartStore, UserFolderFromEnvironment) {
    struct Case {
        const char* configHome;
        const char* home;
        const char* folder;  // nullptr: the account's own home folder
    };
    const Case cases[] = {
        {"/home/u/cfg", "/home/u", "/home/u/cfg/autostart"},
        {"/home/u/cfg/", "/home/u", "/home/u/cfg/autostart"},
        {nullptr, "/home/u", "/home/u/.config/autostart"},
        {"", "/home/u", "/home/u/.config/autostart"},
        {"cfg", "/home/u", "/home/u/.config/autostart"},  // relative: ignored
        {nullptr, "/home/u/", "/home/u/.config/autostart"},
        {nullptr, "relative", nullptr},
        {nullptr, nullptr, nullptr},
    };
    const passwd* account = ::getpwuid(::getuid());
    ASSERT_NE(account, nullptr);
    const std::string own = std::string(account->pw_dir) + "/.config/autostart";
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.configHome ? c.configHome : "(unset)") + " " +
                     (c.home ? c.home : "(unset)"));
        ScopedEnv config("XDG_CONFIG_HOME", c.configHome);
        ScopedEnv home("HOME", c.home);
        EXPECT_EQ(XdgAutostartStore::UserFolderFromEnvironment(), c.folder ? c.folder : own);
    }
}

TEST(XdgAutostartStore, MissingFolderIsAKeyWithNoValue) {
    TempFolder tmp;
    XdgAutostartStore store(tmp / "xdg/autostart");
    ASSERT_TRUE(store.OpenToRead());
    std::string text = "untouched";
    EXPECT_FALSE(store.ReadEntry(text, 100));
    EXPECT_EQ(text, "untouched");
    store.Close();
    EXPECT_FALSE(std::filesystem::exists(tmp / "xdg"));  // reading makes nothing
}

TEST(XdgAutostartStore, WritesReadsBackAndDeletes) {
    TempFolder tmp;
    UmaskGuard loose(0);
    const std::string folder = tmp / "home/.config/autostart";
    std::filesystem::create_directories(tmp / "home");
    ::chmod((tmp / "home").c_str(), 0751);
    XdgAutostartStore store(folder);

    ASSERT_TRUE(Write(store, kEntry));
    // The folders made for the user are the user's alone; those that exist keep their mode.
    EXPECT_EQ(Mode(tmp / "home"), 0751u);
    EXPECT_EQ(Mode(tmp / "home/.config"), 0700u);
    EXPECT_EQ(Mode(folder), 0700u);
    EXPECT_EQ(Mode(folder + "/Tarvo.desktop"), 0644u);
    EXPECT_EQ(ReadFile(folder + "/Tarvo.desktop"), FormatDesktopEntry(kEntry));
    EXPECT_EQ(Read(store), std::optional<std::string>(kEntry));

    ASSERT_TRUE(store.OpenToWrite());
    EXPECT_TRUE(store.RemoveEntry());
    EXPECT_TRUE(store.RemoveEntry()) << "nothing left to start is success";
    store.Close();
    EXPECT_EQ(FileNames(folder), std::set<std::string>{});
    EXPECT_EQ(Read(store), std::nullopt);
}

TEST(XdgAutostartStore, ReplacingLeavesOnlyTheNewEntry) {
    TempFolder tmp;
    XdgAutostartStore store(tmp.Path().string());
    ASSERT_TRUE(Write(store, kEntry));
    ASSERT_TRUE(Write(store, "/usr/bin/tarvento RIVA_TNT 120 105"));
    EXPECT_EQ(Read(store), std::optional<std::string>("/usr/bin/tarvento RIVA_TNT 120 105"));
    EXPECT_EQ(FileNames(tmp.Path()), std::set<std::string>{"Tarvo.desktop"});
}

TEST(XdgAutostartStore, ASuccessfulWriteTakesAwayWhatAKilledWriteLeftBehind) {
    TempFolder tmp;
    XdgAutostartStore store(tmp.Path().string());
    WriteFile(tmp / ".Tarvo.desktop.0badf00d.tmp", "[Desktop Entry]\nType=Appl");
    WriteFile(tmp / ".Tarvo.desktop.notmine.tmp", "someone else's");
    WriteFile(tmp / "other.desktop", "[Desktop Entry]\n");
    ASSERT_TRUE(Write(store, kEntry));
    EXPECT_EQ(FileNames(tmp.Path()),
              (std::set<std::string>{".Tarvo.desktop.notmine.tmp", "Tarvo.desktop", "other.desktop"}));
}

TEST(XdgAutostartStore, RefusedTextChangesNothing) {
    TempFolder tmp;
    XdgAutostartStore store(tmp.Path().string());
    ASSERT_TRUE(Write(store, kEntry));
    const std::optional<std::string> before = ReadFile(tmp / "Tarvo.desktop");

    EXPECT_FALSE(Write(store, "/opt/new\nline/tarvento RIVA_TNT 110 100"));
    EXPECT_FALSE(Write(store, "/opt/not-utf8-\xff/tarvento RIVA_TNT 110 100"));
    EXPECT_FALSE(Write(store, "/usr/bin/tarvento"));
    EXPECT_EQ(ReadFile(tmp / "Tarvo.desktop"), before);
    EXPECT_EQ(FileNames(tmp.Path()), std::set<std::string>{"Tarvo.desktop"});
}

TEST(XdgAutostartStore, FailedReplaceRemovesItsTemporaryFile) {
    TempFolder tmp;
    XdgAutostartStore store(tmp.Path().string());
    // A non-empty folder where the entry goes: the rename over it fails.
    std::filesystem::create_directories(tmp / "Tarvo.desktop/inside");
    EXPECT_FALSE(Write(store, kEntry));
    EXPECT_EQ(FileNames(tmp.Path()), std::set<std::string>{"Tarvo.desktop"});
    EXPECT_TRUE(std::filesystem::is_directory(tmp / "Tarvo.desktop/inside"));
}

TEST(XdgAutostartStore, FolderThatIsNotAFolderCannotBeOpened) {
    TempFolder tmp;
    WriteFile(tmp / "autostart", "not a folder");
    XdgAutostartStore store(tmp / "autostart");
    EXPECT_FALSE(store.OpenToRead());
    EXPECT_FALSE(store.OpenToWrite());
    XdgAutostartStore below(tmp / "autostart/deeper");
    EXPECT_FALSE(below.OpenToRead());
}

TEST(XdgAutostartStore, UnreadableFolderCannotBeOpened) {
    TempFolder tmp;
    ::chmod(tmp.Path().c_str(), 0755);
    const std::string folder = tmp / "autostart";
    std::filesystem::create_directories(folder);
    ::chmod(folder.c_str(), 0311);  // can pass through, cannot list
    const std::optional<bool> refused = WithoutOverride([&] {
        XdgAutostartStore store(folder);
        return !store.OpenToRead();
    });
    if (!refused) GTEST_SKIP() << "cannot run without overriding permissions";
    EXPECT_TRUE(*refused);
}

TEST(XdgAutostartStore, ReadOnlyFolderRefusesTheWriteAndKeepsTheEntry) {
    TempFolder tmp;
    ::chmod(tmp.Path().c_str(), 0755);
    const std::string folder = tmp / "autostart";
    XdgAutostartStore store(folder);
    ASSERT_TRUE(Write(store, kEntry));
    ::chmod(folder.c_str(), 0555);

    const std::optional<bool> refused = WithoutOverride([&] {
        XdgAutostartStore writer(folder);
        const bool opened = writer.OpenToWrite();
        const bool set = writer.StoreEntry("/usr/bin/tarvento RIVA_TNT 1 2");
        const bool deleted = writer.RemoveEntry();
        return opened && !set && !deleted;
    });
    if (!refused) GTEST_SKIP() << "cannot run without overriding permissions";
    EXPECT_TRUE(*refused);
    EXPECT_EQ(Read(store), std::optional<std::string>(kEntry));
    EXPECT_EQ(FileNames(folder), std::set<std::string>{"Tarvo.desktop"});
}

TEST(XdgAutostartStore, ReadsAtMostTheCapacity) {
    TempFolder tmp;
    XdgAutostartStore store(tmp.Path().string());
    ASSERT_TRUE(Write(store, kEntry));
    EXPECT_EQ(Read(store, 8), std::optional<std::string>("/usr/bin"));
    EXPECT_EQ(Read(store, 0), std::optional<std::string>(""));
}

TEST(XdgAutostartStore, LongestEntryWithTheMostEscapingReadsBackWhole) {
    TempFolder tmp;
    XdgAutostartStore store(tmp.Path().string());
    // Backslashes take four bytes each in the Exec line and two in the kept text.
    std::string path = "/";
    while (path.size() < PATH_MAX - 1) path += path.size() % 2 ? "\\" : "%";
    path.resize(PATH_MAX - 1);
    const std::optional<std::string> entry =
        BuildAutostartEntry(path, "RIVA_128ZX", INT32_MIN, INT32_MIN);
    ASSERT_TRUE(entry);
    ASSERT_TRUE(Write(store, *entry));
    EXPECT_EQ(Read(store, AutostartEntryCapacity()), entry);
}

// What the desktop would start is read from the Exec line, whatever else the file says.
TEST(XdgAutostartStore, ReadsWhatTheExecLineStarts) {
    TempFolder tmp;
    XdgAutostartStore store(tmp.Path().string());
    const std::string head = "[Desktop Entry]\nType=Application\nName=T\n";
    struct Case {
        std::string file;
        std::optional<std::string> read;
    };
    const Case cases[] = {
        {head + "Exec=/bin/true\n", "/bin/true"},
        // Edited by hand: the clocks the desktop passes count, not the kept text.
        {head + "Exec=/usr/bin/tarvento RIVA_TNT 130 120\nX-Tarvento-Entry=" + kEntry + "\n",
         "/usr/bin/tarvento RIVA_TNT 130 120"},
        {head + "Exec=/usr/bin/tarvento RIVA_TNT 110 100\nExec=/usr/bin/other\n", "/usr/bin/other"},
        {head + "Exec=\"/opt/a b/tarvento\"  RIVA_TNT \"1\"0 100\n", "/opt/a b/tarvento RIVA_TNT 10 100"},
        {head + "Exec=\"/opt/100%%/x \\\\\"q\\\\\"\" A 1 2\n", "/opt/100%/x \"q\" A 1 2"},
        // A launcher would add what it pleases for a field code: not an entry to claim.
        {head + "Exec=/usr/bin/tarvento RIVA_TNT 110 100 %U\n", std::nullopt},
        {head + "Exec=\"/usr/bin/tarvento RIVA_TNT 110 100\n", std::nullopt},
        {head + "X-Tarvento-Entry=" + kEntry + "\n", std::nullopt},
        {head + "Exec=/usr/bin/tarvento RIVA_TNT 110 100\nHidden=true\n", std::nullopt},
        {head + "Hidden=true\nExec=/usr/bin/tarvento RIVA_TNT 110 100\nHidden=false\n",
         "/usr/bin/tarvento RIVA_TNT 110 100"},
        {"[Other]\nExec=/usr/bin/tarvento RIVA_TNT 110 100\n", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        WriteFile(tmp / "Tarvo.desktop", c.file);
        EXPECT_EQ(Read(store), c.read);
    }

    // A FIFO in the entry's place is not read (it would block).
    std::filesystem::remove(tmp / "Tarvo.desktop");
    ASSERT_EQ(::mkfifo((tmp / "Tarvo.desktop").c_str(), 0644), 0);
    EXPECT_EQ(Read(store), std::nullopt);
}

// The user's file counts if there is one, whatever it holds; otherwise the first
// machine-wide folder that has one.
TEST(XdgAutostartStore, ReadsAsTheDesktopDoesAcrossFolders) {
    TempFolder tmp;
    const std::string user = tmp / "config/autostart";
    const std::string first = tmp / "first/autostart";
    const std::string second = tmp / "second/autostart";
    for (const std::string& f : {user, first, second}) std::filesystem::create_directories(f);
    XdgAutostartStore store(user, {first, second});
    const auto put = [](const std::string& folder, const std::string& entry) {
        WriteFile(folder + "/Tarvo.desktop", *FormatDesktopEntry(entry));
    };

    EXPECT_EQ(Read(store), std::nullopt);
    EXPECT_EQ(store.EntryLocation(), "");
    put(second, "/usr/bin/tarvento RIVA_TNT 80 80");
    EXPECT_EQ(Read(store), "/usr/bin/tarvento RIVA_TNT 80 80");
    EXPECT_EQ(store.EntryLocation(), second + "/Tarvo.desktop");
    put(first, "/usr/bin/tarvento RIVA_TNT 90 90");
    EXPECT_EQ(Read(store), "/usr/bin/tarvento RIVA_TNT 90 90");
    WriteFile(first + "/Tarvo.desktop", FormatHiddenDesktopEntry());
    EXPECT_EQ(Read(store), std::nullopt) << "a hidden machine file masks the ones below it";
    put(user, kEntry);
    EXPECT_EQ(Read(store), kEntry);
    EXPECT_EQ(store.EntryLocation(), user + "/Tarvo.desktop");
    WriteFile(user + "/Tarvo.desktop", "[Desktop Entry]\nType=Application\n");
    EXPECT_EQ(Read(store), std::nullopt) << "the user's file masks even when it starts nothing";
}

// Turning off leaves nothing that starts: the user's file goes, or hides the machine's.
TEST(XdgAutostartStore, DeleteHidesAMachineEntryThatWouldStillStart) {
    TempFolder tmp;
    const std::string user = tmp / "config/autostart";
    const std::string machine = tmp / "xdg/autostart";
    std::filesystem::create_directories(machine);
    XdgAutostartStore store(user, {machine});
    const auto remove = [&] {
        EXPECT_TRUE(store.OpenToWrite());
        const bool ok = store.RemoveEntry();
        store.Close();
        return ok;
    };

    ASSERT_TRUE(Write(store, kEntry));
    EXPECT_TRUE(remove());
    EXPECT_EQ(FileNames(user), std::set<std::string>{});

    WriteFile(machine + "/Tarvo.desktop", *FormatDesktopEntry("/usr/bin/tarvento RIVA_TNT 90 90"));
    ASSERT_TRUE(Write(store, kEntry));
    EXPECT_TRUE(remove());
    EXPECT_EQ(ReadFile(user + "/Tarvo.desktop"), FormatHiddenDesktopEntry());
    EXPECT_EQ(Read(store), std::nullopt);
    EXPECT_TRUE(remove()) << "already hidden";
    EXPECT_EQ(FileNames(user), std::set<std::string>{"Tarvo.desktop"});

    // A machine file that starts nothing needs no hiding.
    WriteFile(machine + "/Tarvo.desktop", FormatHiddenDesktopEntry());
    EXPECT_TRUE(remove());
    EXPECT_EQ(FileNames(user), std::set<std::string>{});
}

TEST(XdgAutostartStore, WritesOnlyThroughAStoreOpenToWrite) {
    TempFolder tmp;
    XdgAutostartStore store(tmp.Path().string());
    ASSERT_TRUE(store.OpenToWrite());
    ASSERT_TRUE(store.StoreEntry(kEntry));
    store.Close();
    EXPECT_FALSE(store.StoreEntry(kEntry));  // closed

    // A key opened for reading cannot write.
    ASSERT_TRUE(store.OpenToRead());
    EXPECT_FALSE(store.StoreEntry("/usr/bin/tarvento RIVA_TNT 1 2"));
    EXPECT_FALSE(store.RemoveEntry());
    store.Close();
    EXPECT_EQ(Read(store), std::optional<std::string>(kEntry));
    EXPECT_EQ(FileNames(tmp.Path()), std::set<std::string>{"Tarvo.desktop"});
}

}  // namespace
}  // namespace tarvento
