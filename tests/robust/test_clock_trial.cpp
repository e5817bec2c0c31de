// SPDX-License-Identifier: GPL-3.0-or-later
// A trial of clocks (--try) as its owner meets it, on a terminal (a pseudo-terminal) and
// without one (a pipe), as a member of the card's group when the tests run as root: Enter
// keeps the clocks; any other answer, no answer by the deadline, the end of the input,
// Ctrl-C, a closed terminal and the signals that end a process put back the words the
// card had, word for word. No trial leaves a guard record or an autostart entry.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "chip/registers.h"
#include "tests/robust/robust_support.h"

namespace tarvento::testing {
namespace {

namespace fs = std::filesystem;

constexpr gid_t kCardGroup = 61113;  // by number: /etc/group is never edited for a test
// Words no set of whole MHz writes back (N 185 and 151): the way back must be the words.
constexpr uint32_t kStartMem = 0x0001B90C, kStartCore = 0x0001970C;
constexpr uint32_t kTrialMem = 0x0001C90C, kTrialCore = 0x0001A70C;  // 120 / 100 MHz

enum class Input { Terminal, Pipe };
enum class Act {
    Enter,        // "\n"
    OtherAnswer,  // "no\n"
    EndInput,     // the pipe's writing end closes
    Wait,         // nothing until the deadline
    CtrlC,        // the terminal's interrupt character
    Hangup,       // the terminal closes
    Signal        // a signal to the process
};

struct Trial {
    const char* name;
    Input input;
    Act act;
    int signal;  // for Act::Signal
    int status;
    const char* says;  // on the output; nothing to check after a hang-up
};

const Trial kTrials[] = {
    {"TerminalEnter", Input::Terminal, Act::Enter, 0, 0, "Kept: RIVA_TNT, Mem Clock 120 MHz, Chip Clock 100 MHz"},
    {"TerminalOtherAnswer", Input::Terminal, Act::OtherAnswer, 0, 3, "Not kept: the card is back at"},
    {"TerminalCtrlC", Input::Terminal, Act::CtrlC, 0, 3, "Stopped by SIGINT: the card is back at"},
    {"TerminalNoAnswer", Input::Terminal, Act::Wait, 0, 3, "No answer within 5 s: the card is back at"},
    {"TerminalClosed", Input::Terminal, Act::Hangup, 0, 3, nullptr},
    {"PipeEnter", Input::Pipe, Act::Enter, 0, 0, "Kept: RIVA_TNT"},
    {"PipeEndOfInput", Input::Pipe, Act::EndInput, 0, 3, "No answer within 5 s: the card is back at"},
    {"PipeSigterm", Input::Pipe, Act::Signal, SIGTERM, 3, "Stopped by SIGTERM"},
    {"PipeSighup", Input::Pipe, Act::Signal, SIGHUP, 3, "Stopped by SIGHUP"},
    {"PipeSigint", Input::Pipe, Act::Signal, SIGINT, 3, "Stopped by SIGINT"},
};

void PrintTo(const Trial& trial, std::ostream* os) { *os << trial.name; }

class ClockTrial : public TreeTest, public ::testing::WithParamInterface<Trial> {
protected:
    fs::path registers;
    fs::path machine = tree.Root() / "machine";
    fs::path state = tree.Root() / "state";

    void SetUp() override {
        tree.AddTnt(1, 0, 0, 0xE0000000);
        registers = Dir(1) / "resource0";
        tree.SetFileWord(registers, kMemPllOffset, kStartMem);
        tree.SetFileWord(registers, kCorePllOffset, kStartCore);
        fs::create_directories(machine / "proc/sys/kernel/random");
        OpenToEveryone(tree.Root());
        if (::geteuid() == 0) {
            // As the udev rule leaves a card: the group may write its registers, nobody else.
            ASSERT_EQ(::chown(registers.c_str(), 0, kCardGroup), 0);
            ASSERT_EQ(::chmod(registers.c_str(), 0660), 0);
        }
    }

    // The command the child runs: the program, as a member of the card's group for root.
    std::vector<std::string> Command() const {
        std::vector<std::string> command;
        if (::geteuid() == 0)
            command = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                       "--groups=" + std::to_string(kCardGroup)};
        command.push_back(UnprivilegedProgram());
        for (const char* a : {"--try", "RIVA_TNT", "120", "100", "5"}) command.emplace_back(a);
        return command;
    }

    // In the child: the environment of the test's tree, then the program.
    [[noreturn]] void Exec() const {
        for (const std::string& name : kDisplayVariables) ::unsetenv(name.c_str());
        for (const auto& [name, value] : Environment()) ::setenv(name.c_str(), value.c_str(), 1);
        ::setenv("TARVENTO_MACHINE_ROOT", machine.c_str(), 1);
        ::setenv("XDG_STATE_HOME", state.c_str(), 1);
        const std::vector<std::string> command = Command();
        std::vector<char*> argv;
        for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
};

// Reads what `fd` gives until `text` has come (true), or the writer ended (a terminal
// whose program ended answers EIO), or 20 s passed; an empty `text` reads to the end.
bool ReadUntil(int fd, std::string& got, const std::string& text = {}) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (text.empty() || got.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > end) return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0) continue;
        char buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return false;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

TEST_P(ClockTrial, KeepsOnEnterAndOtherwisePutsTheWordsBack) {
    const Trial& trial = GetParam();
    if (::geteuid() == 0 && ::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv is not installed";
    int talk = -1;    // where the test writes the answer
    int listen = -1;  // where it reads the program's output
    pid_t pid = -1;
    if (trial.input == Input::Terminal) {
        pid = ::forkpty(&talk, nullptr, nullptr, nullptr);
        ASSERT_GE(pid, 0);
        if (pid == 0) Exec();
        listen = talk;
    } else {
        int in[2], out[2];
        ASSERT_EQ(::pipe2(in, O_CLOEXEC), 0);
        ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
        pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::dup2(out[1], 2);
            Exec();
        }
        ::close(in[0]);
        ::close(out[1]);
        talk = in[1];
        listen = out[0];
    }

    std::string got;
    const bool asked = ReadUntil(listen, got, "Keep these clocks? Press Enter within 5 s");
    EXPECT_TRUE(asked) << got;
    if (trial.input == Input::Terminal) {
        EXPECT_TRUE(ReadUntil(listen, got, " s left")) << "it counts down";
    }
    if (asked) {
        EXPECT_EQ(tree.FileWord(registers, kMemPllOffset), kTrialMem) << "the trial's clocks are on";
        EXPECT_EQ(tree.FileWord(registers, kCorePllOffset), kTrialCore);
    }
    switch (trial.act) {
    case Act::Enter: EXPECT_EQ(::write(talk, "\n", 1), 1); break;
    case Act::OtherAnswer: EXPECT_EQ(::write(talk, "no\n", 3), 3); break;
    case Act::CtrlC: EXPECT_EQ(::write(talk, "\x03", 1), 1); break;
    case Act::EndInput:
    case Act::Hangup:  // on a terminal the answer and the output are one descriptor
        if (listen == talk) listen = -1;
        ::close(talk);
        talk = -1;
        break;
    case Act::Signal: ::kill(pid, trial.signal); break;
    case Act::Wait: break;
    }
    if (listen >= 0) ReadUntil(listen, got);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    if (talk >= 0) ::close(talk);
    if (listen >= 0 && listen != talk) ::close(listen);

    ASSERT_TRUE(WIFEXITED(status)) << got;
    EXPECT_EQ(WEXITSTATUS(status), trial.status) << got;
    if (trial.says != nullptr) {
        EXPECT_NE(got.find(trial.says), std::string::npos) << got;
    }
    const bool kept = trial.status == 0;
    EXPECT_EQ(tree.FileWord(registers, kMemPllOffset), kept ? kTrialMem : kStartMem) << got;
    EXPECT_EQ(tree.FileWord(registers, kCorePllOffset), kept ? kTrialCore : kStartCore) << got;
    if (trial.input == Input::Pipe) {
        EXPECT_EQ(got.find(" s left"), std::string::npos) << "only a terminal counts down";
    }
    EXPECT_FALSE(fs::exists(state / "tarvento/last-apply")) << "a trial is attended: no guard record";
    EXPECT_FALSE(fs::exists(machine / "var/lib/tarvento/last-apply"));
    EXPECT_FALSE(fs::exists(configHome / "autostart")) << "nor an autostart entry";
}

INSTANTIATE_TEST_SUITE_P(OnATerminalAndWithout, ClockTrial, ::testing::ValuesIn(kTrials),
                         [](const ::testing::TestParamInfo<Trial>& info) { return info.param.name; });

}  // namespace
}  // namespace tarvento::testing
