// SPDX-License-Identifier: GPL-3.0-or-later
// The autostart entry under faults: a folder the user may not write, a full disk, and a
// process killed at each step of the write. The entry on disk is always the old one or the
// new one, whole; whenever the new one was not written the user reads "Registry Access
// failed !".

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "chip/chip_state.h"
#include "chip/chip_table.h"
#include "keeping/autostart_entry.h"
#include "keeping/desktop_entry.h"
#include "keeping/xdg_autostart_store.h"
#include "tests/robust/robust_support.h"
#include "tests/support/fake_autostart_window.h"
#include "tests/support/fake_hardware.h"
#include "tests/support/message_recorder.h"
#include "tests/support/temp_folder.h"

namespace tarvento::testing {
namespace {

namespace fs = std::filesystem;

// Entries of a program that is there, as the desktop would start: the built program, where
// the user the tests become (nobody, from root) may start it too.
const std::string& Program() {
    static const std::string program = StagedProgram().string();
    return program;
}
std::string OldEntry() { return Program() + " RIVA_TNT 110 100"; }
std::string NewEntry() { return Program() + " RIVA_TNT 120 95"; }
constexpr int kSkip = 77;  // a child's way of saying the fault cannot be arranged here

// The file as the store writes it for `entry`.
std::string FileFor(const std::string& entry) { return *FormatDesktopEntry(entry); }

class StoreFaults : public ::testing::Test {
protected:
    TempFolder tmp;
    fs::path folder = tmp.Path() / "autostart";

    void SetUp() override {
        ::chmod(tmp.Path().c_str(), 0755);
        // The program is staged here, before any child: a child as nobody could not copy it,
        // and a copy made by a child would outlive it.
        Program();
    }

    void Store(const std::string& entry) {
        XdgAutostartStore store(folder.string());
        ASSERT_TRUE(store.OpenToWrite());
        ASSERT_TRUE(store.StoreEntry(entry));
        store.Close();
    }
    // What lies on the disk where the entry goes, byte for byte.
    std::optional<std::string> OnDisk() const { return ReadFile(folder / kDesktopEntryFileName); }
    // What the program reads back.
    std::optional<std::string> ReadBack() const {
        XdgAutostartStore store(folder.string());
        if (!store.OpenToRead()) return std::nullopt;
        std::string text;
        const bool ok = store.ReadEntry(text, AutostartEntryCapacity());
        store.Close();
        return ok ? std::optional<std::string>(text) : std::nullopt;
    }
};

// The check box clicked in a window whose clocks stand at 120 and 95 MHz on a RIVA TNT:
// what the window went through, one event a line.
std::string ClickAutostart(const fs::path& folder, bool on,
                           std::vector<std::string> machineFolders = {}) {
    FakeHardware hw;
    hw.lastBus = 1;
    hw.AddFunction(1, 0, 0, 0x10DE, 0x0020, 0x0300, 0xE0000000);
    ChipState chip(hw);
    chip.currentChipName = kRivaTntName;
    FakeAutostartWindow window;
    window.controls.check = on ? 1 : 0;
    window.fields.memClock = 120;
    window.fields.chipClock = 95;
    window.fields.autostartOn = on ? 0 : 1;
    XdgAutostartStore store(folder.string(), std::move(machineFolders));
    UpdateAutostartEntry(window, store, chip, Program());
    std::string text;
    for (const std::string& e : window.events) text += e + "\n";
    return text;
}

int CountOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// --- A folder the user may not write ---

TEST_F(StoreFaults, ReadOnlyFolderKeepsTheEntryAndSaysSo) {
    Store(OldEntry());
    ::chmod(folder.c_str(), 0555);
    for (const bool on : {true, false}) {
        const std::optional<ChildResult> click =
            RunInChild([&](int out) { WriteText(out, ClickAutostart(folder, on)); return 0; }, true);
        if (!click) GTEST_SKIP() << "cannot give up the privileges that override permissions";
        EXPECT_EQ(click->status, 0);
        EXPECT_EQ(CountOf(click->out, "message Registry Access failed !"), 1) << click->out;
        EXPECT_EQ(OnDisk(), FileFor(OldEntry())) << (on ? "on" : "off");
        EXPECT_EQ(FileNames(folder), std::set<std::string>{kDesktopEntryFileName});
    }
}

TEST_F(StoreFaults, MissingFolderThatCannotBeMadeSaysSo) {
    ::chmod(tmp.Path().c_str(), 0555);
    const std::optional<ChildResult> click =
        RunInChild([&](int out) { WriteText(out, ClickAutostart(folder, true)); return 0; }, true);
    ::chmod(tmp.Path().c_str(), 0755);
    if (!click) GTEST_SKIP() << "cannot give up the privileges that override permissions";
    EXPECT_EQ(CountOf(click->out, "message Registry Access failed !"), 1) << click->out;
    EXPECT_FALSE(fs::exists(folder));
}

// --- A full disk ---

// Writes the new entry in a child whose writes fail once the disk (or the file size
// limit) is reached; the child reports what WriteAutostartEntry answered and said.
std::string WriteNewEntry(const fs::path& folder) {
    MessageRecorder messages;
    XdgAutostartStore store(folder.string());
    const bool ok = WriteAutostartEntry(messages, store, true, NewEntry());
    std::string text = ok ? "written\n" : "refused\n";
    for (const std::string& m : messages.Texts()) text += "message " + m + "\n";
    return text;
}

// A small tmpfs over `folder`, in a mount namespace of the caller's own: it goes away with
// the child that mounted it. Empty when mounted, else why not.
std::string MountSmallTmpfs(const fs::path& folder, const char* options) {
    if (std::string why = EnterPrivateMounts(); !why.empty()) return why;
    if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, options) != 0)
        return std::string("cannot mount a tmpfs: ") + std::strerror(errno);
    return {};
}

TEST_F(StoreFaults, FullTmpfsKeepsTheEntryAndSaysSo) {
    fs::create_directories(folder);
    const std::optional<ChildResult> run = RunInChild(
        [&](int out) {
            // A private mount namespace: the small file system goes away with the child.
            if (const std::string why = MountSmallTmpfs(folder, "size=64k,mode=0755"); !why.empty()) {
                WriteText(out, why);
                return kSkip;
            }
            XdgAutostartStore store(folder.string());
            if (!store.OpenToWrite() || !store.StoreEntry(OldEntry())) return 1;
            store.Close();
            // Fill every page that is left.
            const int fill = ::open((folder / "filler").c_str(), O_WRONLY | O_CREAT, 0600);
            const std::string page(4096, 'x');
            while (::write(fill, page.data(), page.size()) > 0) {
            }
            while (::write(fill, "x", 1) > 0) {
            }
            ::close(fill);
            std::string report = WriteNewEntry(folder);
            report += "on disk: " + ReadFile(folder / kDesktopEntryFileName).value_or("<none>") + "\n";
            std::set<std::string> names = FileNames(folder);
            names.erase("filler");
            for (const std::string& n : names) report += "file " + n + "\n";
            WriteText(out, report);
            return 0;
        },
        false);
    ASSERT_TRUE(run);
    if (run->status == kSkip) GTEST_SKIP() << "cannot mount a small tmpfs here: " << run->out;
    ASSERT_EQ(run->status, 0) << run->out;
    EXPECT_EQ(run->out, "refused\nmessage Registry Access failed !\non disk: " + FileFor(OldEntry()) +
                            "\nfile " + kDesktopEntryFileName + "\n");
}

// Turning off on a full disk: taking the user's entry away needs no room, so it is no
// failure; hiding a machine-wide entry does need room, and when it cannot be written the
// entry still starts, which the user is told and the window shows.
TEST_F(StoreFaults, FullTmpfsWhileTurningOff) {
    fs::create_directories(folder);
    const fs::path machine = tmp.Path() / "xdg" / "autostart";
    fs::create_directories(machine);
    OpenToEveryone(tmp.Path());
    const std::optional<ChildResult> run = RunInChild(
        [&](int out) {
            if (const std::string why = MountSmallTmpfs(folder, "size=64k,mode=0777"); !why.empty()) {
                WriteText(out, why);
                return kSkip;
            }
            std::string report;
            for (const bool machineEntry : {false, true}) {
                report += machineEntry ? "with a machine entry:\n" : "alone:\n";
                if (machineEntry) {
                    XdgAutostartStore writer(machine.string());
                    if (!writer.OpenToWrite() || !writer.StoreEntry(OldEntry()))
                        return 1;
                    writer.Close();
                }
                XdgAutostartStore store(folder.string());
                if (!store.OpenToWrite() || !store.StoreEntry(OldEntry()))
                    return 1;
                store.Close();
                const int fill = ::open((folder / "filler").c_str(), O_WRONLY | O_CREAT, 0600);
                const std::string page(4096, 'x');
                while (::write(fill, page.data(), page.size()) > 0) {
                }
                while (::write(fill, "x", 1) > 0) {
                }
                ::close(fill);
                // The click as a user the permission bits bind.
                const std::optional<ChildResult> click = RunInChild(
                    [&](int clickOut) {
                        WriteText(clickOut, ClickAutostart(folder, false, {machine.string()}));
                        return 0;
                    },
                    true);
                if (!click || click->status != 0) return kSkip;
                report += click->out;
                report += "user file: " +
                          ReadFile(folder / kDesktopEntryFileName).value_or("<none>") + "\n";
                ::unlink((folder / "filler").c_str());
            }
            WriteText(out, report);
            return 0;
        },
        false);
    ASSERT_TRUE(run);
    if (run->status == kSkip) GTEST_SKIP() << "cannot mount a small tmpfs here: " << run->out;
    ASSERT_EQ(run->status, 0) << run->out;
    EXPECT_EQ(run->out, "alone:\n"
                        "read\nread\nwrite check=0 mem=--- chip=---\n"
                        "user file: <none>\n"
                        "with a machine entry:\n"
                        "read\nmessage Registry Access failed !\nread\nwrite check=1 mem=110 chip=100\n"
                        "user file: " + FileFor(OldEntry()) + "\n");
}

TEST_F(StoreFaults, FileSizeLimitKeepsTheEntryAndSaysSo) {
    // The same failed write without privileges: the process may not write files longer
    // than 64 bytes, which the new entry is.
    Store(OldEntry());
    const std::optional<ChildResult> run = RunInChild(
        [&](int out) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{64, 64};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return kSkip;
            WriteText(out, WriteNewEntry(folder));
            return 0;
        },
        false);
    ASSERT_TRUE(run);
    if (run->status == kSkip) GTEST_SKIP() << "cannot limit the file size";
    EXPECT_EQ(run->out, "refused\nmessage Registry Access failed !\n");
    EXPECT_EQ(OnDisk(), FileFor(OldEntry()));
    EXPECT_EQ(FileNames(folder), std::set<std::string>{kDesktopEntryFileName});
}

// --- Killed at each step of the write ---

// The system calls of a write, in order: make the temporary file, fill it, sync it,
// rename it over the entry, sync the folder.
enum class Step { CreateTemporary, FillTemporary, SyncTemporary, Rename, SyncFolder };

#if defined(__x86_64__)
constexpr uint32_t kAuditArch = AUDIT_ARCH_X86_64;
#elif defined(__i386__)
constexpr uint32_t kAuditArch = AUDIT_ARCH_I386;
#elif defined(__aarch64__)
constexpr uint32_t kAuditArch = AUDIT_ARCH_AARCH64;
#else
constexpr uint32_t kAuditArch = 0;
#endif

sock_filter Stmt(uint16_t code, uint32_t k) { return BPF_STMT(code, k); }
sock_filter Jump(uint16_t code, uint32_t k, uint8_t jt, uint8_t jf) { return BPF_JUMP(code, k, jt, jf); }

// Kills the process, as SIGKILL would, at the first system call of `step`. `folderFd` is
// the store's descriptor of its folder, which tells the two syncs apart.
bool KillAt(Step step, int folderFd) {
    const sock_filter allow = Stmt(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    const sock_filter kill = Stmt(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS);
    std::vector<uint32_t> calls;
    std::vector<sock_filter> check;  // runs on one of `calls`
    const auto loadArg = [](int i) {
        return Stmt(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args) + 8 * i);  // low half
    };
    switch (step) {
    case Step::CreateTemporary:
        calls = {SYS_openat};
        check = {loadArg(2), Jump(BPF_JMP | BPF_JSET | BPF_K, O_CREAT, 0, 1), kill, allow};
        break;
    case Step::FillTemporary:
        calls = {SYS_write};
        check = {kill};
        break;
    case Step::SyncTemporary:
        calls = {SYS_fsync};
        check = {loadArg(0), Jump(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(folderFd), 0, 1), allow, kill};
        break;
    case Step::Rename:
        calls = {SYS_renameat, SYS_renameat2};
        check = {kill};
        break;
    case Step::SyncFolder:
        calls = {SYS_fsync};
        check = {loadArg(0), Jump(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(folderFd), 0, 1), kill, allow};
        break;
    }
    std::vector<sock_filter> f = {
        Stmt(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        Jump(BPF_JMP | BPF_JEQ | BPF_K, kAuditArch, 1, 0),
        allow,
        Stmt(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
    };
    for (size_t i = 0; i < calls.size(); ++i)
        f.push_back(Jump(BPF_JMP | BPF_JEQ | BPF_K, calls[i], static_cast<uint8_t>(calls.size() - i), 0));
    f.push_back(allow);
    f.insert(f.end(), check.begin(), check.end());
    const sock_fprog program{static_cast<unsigned short>(f.size()), f.data()};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) == 0;
}

// The descriptor through which this process holds `folder` open.
int DescriptorOf(const fs::path& folder) {
    std::error_code ec;
    const fs::path wanted = fs::canonical(folder, ec);
    for (const auto& e : fs::directory_iterator("/proc/self/fd", ec)) {
        std::error_code linkError;
        if (fs::read_symlink(e.path(), linkError) == wanted)
            return std::stoi(e.path().filename().string());
    }
    return -1;
}

// A process that starts writing `entry` and is killed at `step`: true when it was.
std::optional<bool> KilledWhileWriting(const fs::path& folder, Step step, const std::string& entry) {
    const std::optional<ChildResult> run = RunInChild(
        [&](int) {
            const rlimit noCore{0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            XdgAutostartStore store(folder.string());
            if (!store.OpenToWrite()) return 1;
            const int fd = DescriptorOf(folder);
            if (kAuditArch == 0 || fd < 0 || !KillAt(step, fd)) return kSkip;
            store.StoreEntry(entry);
            return 0;  // not killed: the write no longer makes that call
        },
        false);
    if (!run || run->status == kSkip) return std::nullopt;
    return run->signal == SIGSYS;
}

struct KillCase {
    Step step;
    bool renamed;  // whether the new entry is in place when the process dies
};

const char* StepName(Step step) {
    constexpr const char* kNames[] = {"CreateTemporary", "FillTemporary", "SyncTemporary",
                                      "Rename", "SyncFolder"};
    return kNames[static_cast<int>(step)];
}
void PrintTo(const KillCase& c, std::ostream* os) { *os << StepName(c.step); }

class KilledWrite : public StoreFaults, public ::testing::WithParamInterface<KillCase> {};

TEST_P(KilledWrite, LeavesTheOldEntryOrTheNewOneWhole) {
    Store(OldEntry());
    const std::optional<bool> killed = KilledWhileWriting(folder, GetParam().step, NewEntry());
    if (!killed) GTEST_SKIP() << "cannot stop a process at a system call here";
    ASSERT_TRUE(*killed) << "the write went through without reaching that step";
    const std::string expected = GetParam().renamed ? NewEntry() : OldEntry();
    EXPECT_EQ(OnDisk(), FileFor(expected));
    EXPECT_EQ(ReadBack(), expected) << "a leftover temporary file is not read";

    // The next write is not hindered by what the killed one left.
    XdgAutostartStore store(folder.string());
    ASSERT_TRUE(store.OpenToWrite());
    EXPECT_TRUE(store.StoreEntry("/usr/bin/tarvento RIVA_TNT 100 90"));
    store.Close();
    EXPECT_EQ(ReadBack(), "/usr/bin/tarvento RIVA_TNT 100 90");
}

TEST_P(KilledWrite, NeverLeavesAnEmptyFirstEntry) {
    const std::optional<bool> killed = KilledWhileWriting(folder, GetParam().step, NewEntry());
    if (!killed) GTEST_SKIP() << "cannot stop a process at a system call here";
    ASSERT_TRUE(*killed);
    if (GetParam().renamed) {
        EXPECT_EQ(OnDisk(), FileFor(NewEntry()));
    } else {
        EXPECT_EQ(OnDisk(), std::nullopt) << "no entry rather than a torn or empty one";
        EXPECT_EQ(ReadBack(), std::nullopt);
    }
}

std::string ParamName(const ::testing::TestParamInfo<KillCase>& info) {
    return StepName(info.param.step);
}

INSTANTIATE_TEST_SUITE_P(EachStep, KilledWrite,
                         ::testing::Values(KillCase{Step::CreateTemporary, false},
                                           KillCase{Step::FillTemporary, false},
                                           KillCase{Step::SyncTemporary, false},
                                           KillCase{Step::Rename, false},
                                           KillCase{Step::SyncFolder, true}),
                         ParamName);

}  // namespace
}  // namespace tarvento::testing
