// SPDX-License-Identifier: GPL-3.0-or-later
// The autostart entry as a user without privileges meets it: the program reads the
// user's own entry from the home folder, else the machine-wide one, and --info names the
// file that holds it.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "keeping/autostart_store.h"
#include "keeping/desktop_entry.h"
#include "keeping/xdg_autostart_store.h"
#include "tests/robust/robust_support.h"
#include "tests/support/temp_folder.h"

namespace tarvento::testing {
namespace {

namespace fs = std::filesystem;

void WriteEntry(const fs::path& folder, const std::string& contents) {
    fs::create_directories(folder);
    std::ofstream(folder / kDesktopEntryFileName, std::ios::binary) << contents;
}

// Hands a folder and everything in it to nobody, as a home folder is its user's.
void GiveToNobody(const fs::path& root) {
    if (::geteuid() != 0) return;
    ASSERT_EQ(::lchown(root.c_str(), kNobody, kNobody), 0);
    for (const auto& e : fs::recursive_directory_iterator(root))
        ASSERT_EQ(::lchown(e.path().c_str(), kNobody, kNobody), 0) << e.path();
}

class UnprivilegedAutostart : public TreeTest {
protected:
    fs::path home = tree.Root() / "home";

    void SetUp() override {
        fs::create_directories(home);
        OpenToEveryone(tree.Root());
    }

    // The first lines of --info about the entry, run with $HOME and no $XDG_CONFIG_HOME.
    std::optional<std::string> AutostartLines() {
        GiveToNobody(home);
        const std::optional<ProgramResult> r = RunProgramUnprivileged(
            {"--info"},
            {{"TARVENTO_SYSFS_ROOT", tree.RootString()},
             {"XDG_CONFIG_DIRS", xdg.string()},
             {"HOME", home.string()}},
            {"XDG_CONFIG_HOME", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
        if (!r) return std::nullopt;
        EXPECT_EQ(r->out.rfind("Chipset: Unknown\n", 0), 0u) << r->out;
        // Only the two lines about the entry: the adapter lines around them are not ours.
        std::string lines;
        std::size_t at = 0;
        while (at < r->out.size()) {
            std::size_t end = r->out.find('\n', at);
            end = end == std::string::npos ? r->out.size() : end + 1;
            const std::string line = r->out.substr(at, end - at);
            if (line.rfind("Autostart: ", 0) == 0 || line.rfind("Autostart file: ", 0) == 0)
                lines += line;
            at = end;
        }
        return lines;
    }
};

TEST_F(UnprivilegedAutostart, InfoNamesTheFileTheDesktopWouldStart) {
    // Entries of this very program: the desktop starts it, so --info says on.
    const std::string program = fs::canonical(UnprivilegedProgram()).string();
    const std::string entry = program + " RIVA_TNT 110 100";
    const fs::path machineFolder = xdg / "autostart";
    const fs::path userFolder = home / ".config" / "autostart";

    Freeze();
    std::optional<std::string> lines = AutostartLines();
    if (!lines) GTEST_SKIP() << "cannot run the program as an unprivileged user here";
    EXPECT_EQ(*lines, "Autostart: off\nAutostart file: none\n");
    ExpectNothingWritten();

    WriteEntry(machineFolder, *FormatDesktopEntry(entry));
    OpenToEveryone(tree.Root());
    EXPECT_EQ(AutostartLines(), "Autostart: on, Mem Clock 110 MHz, Chip Clock 100 MHz\n"
                                "Autostart file: " + (machineFolder / "Tarvo.desktop").string() + "\n");

    WriteEntry(userFolder, *FormatDesktopEntry(program + " RIVA_TNT 120 95"));
    EXPECT_EQ(AutostartLines(), "Autostart: on, Mem Clock 120 MHz, Chip Clock 95 MHz\n"
                                "Autostart file: " + (userFolder / "Tarvo.desktop").string() + "\n");

    WriteEntry(userFolder, FormatHiddenDesktopEntry());
    Freeze();
    EXPECT_EQ(AutostartLines(), "Autostart: off\nAutostart file: none\n");
    ExpectNothingWritten();
}

// A normal user ticks and unticks the box with nothing but a home folder: the folders
// are made for that user alone, a machine-wide entry is hidden and overridden, and the
// machine's folder, which the user cannot write, is never needed.
TEST_F(UnprivilegedAutostart, TheUserWritesOnlyIntoTheHomeFolder) {
    const std::string program = "/usr/bin/tarvento";
    WriteEntry(xdg / "autostart", *FormatDesktopEntry(program + " RIVA_TNT 110 100"));
    OpenToEveryone(tree.Root());
    GiveToNobody(home);
    const std::optional<ChildResult> run = RunInChild(
        [&](int out) {
            ::setenv("HOME", home.c_str(), 1);
            ::unsetenv("XDG_CONFIG_HOME");
            ::setenv("XDG_CONFIG_DIRS", xdg.c_str(), 1);
            XdgAutostartStore store(XdgAutostartStore::UserFolderFromEnvironment(),
                                    XdgAutostartStore::MachineFoldersFromEnvironment());
            const auto read = [&] {
                std::string text = "(none)";
                store.OpenToRead();
                store.ReadEntry(text, 4096);
                store.Close();
                return text + "\n";
            };
            std::string report = read();
            const bool on = store.OpenToWrite() &&
                            store.StoreEntry(program + " RIVA_TNT 120 95");
            store.Close();
            report += std::string(on ? "on " : "refused ") + read();
            const bool off = store.OpenToWrite() && store.RemoveEntry();
            store.Close();
            report += std::string(off ? "off " : "refused ") + read();
            WriteText(out, report);
            return 0;
        },
        true);
    if (!run) GTEST_SKIP() << "cannot give up the privileges that override permissions";
    EXPECT_EQ(run->out, program + " RIVA_TNT 110 100\n"
                        "on " + program + " RIVA_TNT 120 95\n"
                        "off (none)\n");
    struct stat st {};
    for (const fs::path& folder : {home / ".config", home / ".config" / "autostart"}) {
        ASSERT_EQ(::stat(folder.c_str(), &st), 0) << folder;
        EXPECT_EQ(st.st_mode & 07777, 0700u) << folder;
        if (::geteuid() == 0) {
            EXPECT_EQ(st.st_uid, kNobody) << folder;
        }
    }
    EXPECT_EQ(ReadFile(home / ".config" / "autostart" / "Tarvo.desktop"), FormatHiddenDesktopEntry());
    EXPECT_EQ(ReadFile(xdg / "autostart" / "Tarvo.desktop"),
              FormatDesktopEntry(program + " RIVA_TNT 110 100"));
}

}  // namespace
}  // namespace tarvento::testing
