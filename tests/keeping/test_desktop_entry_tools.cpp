// SPDX-License-Identifier: GPL-3.0-or-later
// The written desktop entry as the desktop's own tools see it: the validator, the dex
// launcher and systemd's autostart generator. Each test is skipped where its tool is
// not installed.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "keeping/autostart_entry.h"
#include "keeping/desktop_entry.h"
#include "keeping/xdg_autostart_store.h"
#include "tests/support/temp_folder.h"

namespace tarvento {
namespace {

using testing::FileNames;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

constexpr const char* kValidator = "/usr/bin/desktop-file-validate";
constexpr const char* kDex = "/usr/bin/dex";
constexpr const char* kGenerator =
    "/usr/lib/systemd/user-generators/systemd-xdg-autostart-generator";

bool Installed(const char* tool) { return ::access(tool, X_OK) == 0; }

struct ToolRun {
    int status = -1;
    std::string output;  // standard output and standard error together
};

// Runs argv with `env` added to the environment, without a shell.
ToolRun RunTool(const std::vector<std::string>& argv, const std::vector<std::string>& env = {}) {
    std::string command = "env";
    for (const std::string& e : env) command += " '" + e + "'";
    for (const std::string& a : argv) command += " '" + a + "'";
    command += " 2>&1";
    ToolRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    std::array<char, 4096> buffer{};
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        run.output.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// A program folder under a temporary folder, named to exercise the quoting, with an
// executable "tarvento" in it; the autostart folder beside it holds the entry.
struct Installation {
    explicit Installation(const std::string& folderName) {
        programFolder = root / folderName;
        std::filesystem::create_directories(programFolder);
        program = programFolder + "/tarvento";
        WriteFile(program, "#!/bin/sh\nexit 0\n");
        ::chmod(program.c_str(), 0755);
        configDir = root / "xdg";
        autostart = configDir + "/autostart";
        std::filesystem::create_directories(autostart);
        entry = program + " RIVA_TNT 110 100";
        const std::optional<std::string> file = FormatDesktopEntry(entry);
        EXPECT_TRUE(file);
        desktopFile = autostart + "/" + kDesktopEntryFileName;
        WriteFile(desktopFile, file.value_or(""));
    }

    TempFolder root;
    std::string programFolder, program, configDir, autostart, entry, desktopFile;
};

// A unit's command line as words: white space separates, double quotes group, a
// backslash takes the next character as it is.
std::vector<std::string> SplitExecStart(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
            inWord = true;
        } else if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (c == ' ' && !quoted) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

// None of these names may contain a single quote: RunTool quotes with them.
const char* kPlain = "plain";
const char* kSpaces = "Tarvento Tools";
const char* kQuotesAndDollar = "clocks \"fast\" $HOME `x`";
const char* kPercentAndBackslash = "50% back\\slash";
const char* kUnicode = "T\u00e4kt \u00fcn\u00efcode";

TEST(DesktopEntryTools, ValidatorAcceptsTheWrittenEntry) {
    if (!Installed(kValidator)) GTEST_SKIP() << "desktop-file-validate is not installed";
    for (const char* name :
         {kPlain, kSpaces, kQuotesAndDollar, kPercentAndBackslash, kUnicode}) {
        SCOPED_TRACE(name);
        Installation in(name);
        const ToolRun run = RunTool({kValidator, in.desktopFile});
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(run.output, "");
    }
}

TEST(DesktopEntryTools, ValidatorAcceptsTheReferenceFiles) {
    if (!Installed(kValidator)) GTEST_SKIP() << "desktop-file-validate is not installed";
    for (const char* name :
         {"plain.desktop", "spaces.desktop", "special.desktop", "percent.desktop"}) {
        SCOPED_TRACE(name);
        const ToolRun run =
            RunTool({kValidator, std::string(TARVENTO_TEST_DATA_DIR) + "/autostart/" + name});
        EXPECT_EQ(run.status, 0) << run.output;
    }
}

// dex reads neither escapes inside quotes nor %%, so it is asked only about paths
// without them; the validator and the generator cover the rest.
TEST(DesktopEntryTools, DexWouldRunTheProgramWithTheThreeFields) {
    if (!Installed(kDex)) GTEST_SKIP() << "dex is not installed";
    for (const char* name : {kPlain, kSpaces}) {
        SCOPED_TRACE(name);
        Installation in(name);
        const ToolRun run = RunTool({kDex, "-a", "-d", "-s", in.autostart},
                                {"XDG_CURRENT_DESKTOP=", "XDG_CONFIG_HOME=" + in.configDir});
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_NE(run.output.find("Executing command: " + in.entry + "\n"), std::string::npos)
            << run.output;

        const ToolRun single = RunTool({kDex, "-d", in.desktopFile});
        EXPECT_EQ(single.output, "Executing command: " + in.entry + "\n");
    }
}

// The generator turns the entry into a user service; its ExecStart names the program
// and passes the three fields (however the generator's version quotes them).
TEST(DesktopEntryTools, SystemdGeneratorMakesAServiceOfIt) {
    if (!Installed(kGenerator)) GTEST_SKIP() << "systemd's xdg-autostart generator is absent";
    // systemd 252 looks the program up before it reads %% and unescapes a backslash
    // twice, so a path holding either is left to the validator.
    for (const char* name : {kPlain, kSpaces, kQuotesAndDollar}) {
        SCOPED_TRACE(name);
        Installation in(name);
        const std::string out = in.root / "units";
        std::filesystem::create_directories(out);
        const ToolRun run = RunTool({kGenerator, out, out, out},
                                {"XDG_CONFIG_DIRS=" + in.configDir,
                                 "XDG_CONFIG_HOME=" + (in.root / "home-config"),
                                 "SYSTEMD_LOG_LEVEL=info"});
        EXPECT_EQ(run.status, 0) << run.output;
        const std::optional<std::string> unit = ReadFile(out + "/app-Tarvo@autostart.service");
        ASSERT_TRUE(unit) << run.output;
        const std::size_t at = unit->find("\nExecStart=:");
        ASSERT_NE(at, std::string::npos) << *unit;
        const std::string line = unit->substr(at + 1, unit->find('\n', at + 1) - at - 1);
        EXPECT_EQ(SplitExecStart(line.substr(std::strlen("ExecStart=:"))),
                  (std::vector<std::string>{in.program, "RIVA_TNT", "110", "100"}))
            << line;
    }
}

// ---- The user's entry and the machine's, as the desktop starts them -----------------

// A user's configuration folder and two machine-wide ones, the program beside them, and
// the store over them as the program makes it.
struct Desktop {
    explicit Desktop(const std::string& folderName) {
        const std::string folder = root / folderName;
        std::filesystem::create_directories(folder);
        program = folder + "/tarvento";
        WriteFile(program, "#!/bin/sh\nexit 0\n");
        ::chmod(program.c_str(), 0755);
        configHome = root / "home/.config";
        machineDirs = (root / "etc/xdg") + ":" + (root / "usr/xdg");
        std::filesystem::create_directories(root / "etc/xdg/autostart");
    }
    std::vector<std::string> Env() const {
        return {"XDG_CURRENT_DESKTOP=", "XDG_CONFIG_HOME=" + configHome,
                "XDG_CONFIG_DIRS=" + machineDirs};
    }
    std::string MachineFile() const { return root / "etc/xdg/autostart/Tarvo.desktop"; }
    std::string UserFile() const { return configHome + "/autostart/Tarvo.desktop"; }

    // What the store reads, as the window and --info see it.
    std::optional<std::string> StoreReads() const {
        XdgAutostartStore store(configHome + "/autostart",
                                {root / "etc/xdg/autostart", root / "usr/xdg/autostart"});
        if (!store.OpenToRead()) return std::nullopt;
        std::string text;
        const bool ok = store.ReadEntry(text, 4096);
        store.Close();
        return ok ? std::optional<std::string>(text) : std::nullopt;
    }
    bool Change(bool on, const std::string& entry = {}) const {
        XdgAutostartStore store(configHome + "/autostart",
                                {root / "etc/xdg/autostart", root / "usr/xdg/autostart"});
        if (!store.OpenToWrite()) return false;
        const bool ok = on ? store.StoreEntry(entry) : store.RemoveEntry();
        store.Close();
        return ok;
    }

    TempFolder root;
    std::string program, configHome, machineDirs;
};

// The commands dex would run at this login, one per entry it starts.
std::vector<std::string> DexRuns(const Desktop& d) {
    const ToolRun run = RunTool({kDex, "-a", "-d"}, d.Env());
    EXPECT_EQ(run.status, 0) << run.output;
    std::vector<std::string> commands;
    const std::string prefix = "Executing command: ";
    std::size_t at = 0;
    while ((at = run.output.find(prefix, at)) != std::string::npos) {
        at += prefix.size();
        commands.push_back(run.output.substr(at, run.output.find('\n', at) - at));
    }
    return commands;
}

// The command line of the user service systemd would make of Tarvo.desktop, as words,
// or nothing when it makes none.
std::optional<std::vector<std::string>> GeneratorRuns(const Desktop& d) {
    const std::string out = d.root / "units";
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);
    std::vector<std::string> env = d.Env();
    env.push_back("SYSTEMD_LOG_LEVEL=info");
    const ToolRun run = RunTool({kGenerator, out, out, out}, env);
    EXPECT_EQ(run.status, 0) << run.output;
    const std::optional<std::string> unit = ReadFile(out + "/app-Tarvo@autostart.service");
    if (!unit) return std::nullopt;
    const std::size_t at = unit->find("\nExecStart=:");
    if (at == std::string::npos) return std::vector<std::string>{};
    const std::string line = unit->substr(at + 1, unit->find('\n', at + 1) - at - 1);
    return SplitExecStart(line.substr(std::strlen("ExecStart=:")));
}

std::vector<std::string> Words(const std::string& program, const std::string& tail) {
    std::vector<std::string> words{program};
    std::size_t at = 0;
    while (at < tail.size()) {
        const std::size_t space = tail.find(' ', at);
        words.push_back(tail.substr(at, space - at));
        at = space == std::string::npos ? tail.size() : space + 1;
    }
    return words;
}

// Every case of the user's entry and the machine's: the store, dex and systemd agree on
// what starts at login.
TEST(DesktopEntryTools, UserAndMachineEntriesStartWhatTheStoreReads) {
    const bool dex = Installed(kDex);
    const bool generator = Installed(kGenerator);
    if (!dex && !generator) GTEST_SKIP() << "neither dex nor the systemd generator is installed";
    for (const char* name : {kPlain, kSpaces}) {
        SCOPED_TRACE(name);
        Desktop d(name);
        const std::string machineEntry = d.program + " RIVA_TNT 110 100";
        const std::string userEntry = d.program + " RIVA_TNT 120 95";
        // Expects the store, dex and the generator to start `tail` after the program, or
        // nothing at all.
        const auto expectStarts = [&](const std::optional<std::string>& tail, const char* step) {
            SCOPED_TRACE(step);
            const std::optional<std::string> entry =
                tail ? std::optional<std::string>(d.program + " " + *tail) : std::nullopt;
            EXPECT_EQ(d.StoreReads(), entry);
            if (dex) {
                EXPECT_EQ(DexRuns(d), entry ? std::vector<std::string>{*entry}
                                            : std::vector<std::string>{});
            }
            if (generator) {
                EXPECT_EQ(GeneratorRuns(d),
                          tail ? std::optional<std::vector<std::string>>(Words(d.program, *tail))
                               : std::nullopt);
            }
        };

        expectStarts(std::nullopt, "nothing anywhere");
        ASSERT_TRUE(d.Change(true, userEntry));
        expectStarts("RIVA_TNT 120 95", "the user's own entry");
        ASSERT_TRUE(d.Change(false));
        expectStarts(std::nullopt, "turned off with nothing machine-wide");
        EXPECT_FALSE(std::filesystem::exists(d.UserFile()));

        WriteFile(d.MachineFile(), *FormatDesktopEntry(machineEntry));
        expectStarts("RIVA_TNT 110 100", "the machine's entry");
        ASSERT_TRUE(d.Change(true, userEntry));
        expectStarts("RIVA_TNT 120 95", "the user's overrides the machine's");
        ASSERT_TRUE(d.Change(false));
        expectStarts(std::nullopt, "turned off: the user's file hides the machine's");
        if (Installed(kValidator)) {
            const ToolRun run = RunTool({kValidator, d.UserFile()});
            EXPECT_EQ(run.status, 0) << run.output;
        }

        // Edited by hand: what the Exec line says is what starts, and what is read.
        std::string edited = *FormatDesktopEntry(userEntry);
        edited.replace(edited.find("120 95\n"), 7, "130 90\n");
        WriteFile(d.UserFile(), edited);
        expectStarts("RIVA_TNT 130 90", "an edited Exec line");
    }
}

// ---- Entries made by hand or by an administrator --------------------------------------

// This program at "<root>/opt/a b/tarvento", found through PATH by its bare name and
// through a link, "<root>/opt/a" another program; each writes a mark when it runs.
struct Session {
    Session() {
        std::filesystem::create_directories(root / "opt/a b");
        std::filesystem::create_directories(root / "bin");
        std::filesystem::create_directories(autostart);
        std::filesystem::create_directories(root / "xdg/autostart");
        WriteFile(program, "#!/bin/sh\n: > '" + Mark() + "'\n");
        WriteFile(root / "opt/a", "#!/bin/sh\n: > '" + (root / "other-program-ran") + "'\n");
        ::chmod(program.c_str(), 0755);
        ::chmod((root / "opt/a").c_str(), 0755);
        std::filesystem::create_symlink(program, root / "bin/link");
    }
    std::string Mark() const { return root / "this-program-ran"; }
    // True once, when this program ran since the last call.
    bool Ran() const { return std::filesystem::remove(Mark()); }
    std::vector<std::string> Env(const std::string& desktop) const {
        return {"HOME=" + (root / "home"), "XDG_CONFIG_HOME=" + (root / "home/.config"),
                "XDG_CONFIG_DIRS=" + (root / "xdg"), "XDG_CURRENT_DESKTOP=" + desktop,
                "PATH=" + path};
    }

    TempFolder root;
    std::string program = root / "opt/a b/tarvento";
    std::string path = (root / "opt/a b") + ":/usr/bin:/bin";
    std::string autostart = root / "home/.config/autostart";
};

// Whether dex, logging in to `desktop`, runs this program.
bool DexStarts(const Session& s, const std::string& desktop) {
    RunTool({kDex, "-a", "-w", "-e", desktop}, s.Env(desktop));
    return s.Ran();
}

// Whether the service systemd's generator makes of the entry runs this program in
// `desktop`: its ExecCondition lines must pass there, then its ExecStart runs.
bool GeneratorStarts(const Session& s, const std::string& desktop) {
    const std::string out = s.root / "units";
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);
    const ToolRun run = RunTool({kGenerator, out, out, out}, s.Env(desktop));
    EXPECT_EQ(run.status, 0) << run.output;
    const std::optional<std::string> unit = ReadFile(out + "/app-Tarvo@autostart.service");
    if (!unit) return false;
    std::vector<std::string> start;
    std::size_t at = 0;
    while (at < unit->size()) {
        const std::size_t end = std::min(unit->find('\n', at), unit->size());
        const std::string line = unit->substr(at, end - at);
        at = end + 1;
        if (line.starts_with("ExecCondition=")) {
            if (RunTool(SplitExecStart(line.substr(14)), s.Env(desktop)).status != 0) return false;
        } else if (line.starts_with("ExecStart=")) {
            start = SplitExecStart(line.substr(line.starts_with("ExecStart=:") ? 11 : 10));
        }
    }
    if (start.empty()) return false;
    RunTool(start, s.Env(desktop));
    return s.Ran();
}

// The check box is ticked exactly when the desktop would start this program with the
// entry: each row is checked against dex and systemd's generator, and says why not.
TEST(DesktopEntryTools, TheBoxIsTickedExactlyWhenTheDesktopStartsTheProgram) {
    const bool dex = Installed(kDex);
    const bool generator = Installed(kGenerator);
    const std::string ours = "\"{root}/opt/a b/tarvento\" RIVA_TNT 115 95";
    struct Row {
        const char* what;
        std::string desktop;
        std::string exec;  // {root}: the session's folder; empty: the entry the program writes
        std::string keys;  // further lines
        const char* whyNot;  // nullptr: it starts; "": no entry at all
        bool toolsKnowIt = true;  // false: only the desktop's own session manager reads it
    };
    const Row rows[] = {
        {"the entry the program writes", "Openbox", "", "", nullptr},
        {"only for another desktop", "Openbox", ours, "OnlyShowIn=KDE;\n", "not shown in this desktop"},
        {"only for this desktop", "KDE", ours, "OnlyShowIn=GNOME;KDE;\n", nullptr},
        {"not for this desktop", "Openbox", ours, "NotShowIn=Openbox;\n", "not shown in this desktop"},
        {"not for other desktops", "Openbox", ours, "NotShowIn=GNOME;KDE;\n", nullptr},
        {"TryExec of nothing installed", "Openbox", ours, "TryExec=/nonexistent\n",
         "its TryExec program /nonexistent is not installed"},
        {"TryExec found through PATH", "Openbox", ours, "TryExec=tarvento\n", nullptr},
        {"a bare name PATH finds", "Openbox", "tarvento RIVA_TNT 115 95", "", nullptr},
        {"a link to the program", "Openbox", "{root}/bin/link RIVA_TNT 115 95", "", nullptr},
        {"a path with a space, half quoted", "Openbox", "{root}/opt/a \"b/tarvento\" RIVA_TNT 115 95", "",
         "it starts another program, {root}/opt/a"},
        {"a program that is not there", "Openbox", "{root}/opt/tarvento RIVA_TNT 115 95", "",
         "its program {root}/opt/tarvento cannot be found"},
        {"turned off for GNOME, outside GNOME", "Openbox", ours, "X-GNOME-Autostart-enabled=false\n", nullptr},
        {"turned off for GNOME, in GNOME", "GNOME", ours, "X-GNOME-Autostart-enabled=false\n",
         "disabled in this GNOME session", false},
        {"hidden", "Openbox", ours, "Hidden=true\n", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Session s;
        const auto withRoot = [&](std::string text) {
            for (std::size_t at; (at = text.find("{root}")) != std::string::npos;)
                text.replace(at, 6, s.root.Path().string());
            return text;
        };
        WriteFile(s.autostart + "/Tarvo.desktop",
                  row.exec.empty() ? *FormatDesktopEntry(s.program + " RIVA_TNT 110 100")
                                   : "[Desktop Entry]\nType=Application\nName=Tarvento\nExec=" +
                                         withRoot(row.exec) + "\n" + row.keys);
        const bool starts = row.whyNot == nullptr;

        XdgAutostartStore store(s.autostart, {s.root / "xdg/autostart"},
                                XdgAutostartStore::Session{{row.desktop}, s.path});
        const std::optional<StoredAutostart> box = ReadStoredAutostart(store, s.program);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->on, starts);
        ASSERT_TRUE(store.OpenToRead());
        std::string entry;
        const bool read = store.ReadEntry(entry, 4096);
        store.Close();
        EXPECT_EQ(read ? WhyEntryDoesNotStart(store, entry, s.program) : "",
                  withRoot(row.whyNot ? row.whyNot : ""));

        if (!row.toolsKnowIt) continue;
        if (dex) {
            EXPECT_EQ(DexStarts(s, row.desktop), starts) << "dex";
        }
        if (generator) {
            EXPECT_EQ(GeneratorStarts(s, row.desktop), starts) << "systemd's generator";
        }
    }
}

}  // namespace
}  // namespace tarvento
