// SPDX-License-Identifier: GPL-3.0-or-later
// Starts that want a window in sessions where the toolkit may not open one: a Wayland
// compositor (weston's headless backend) with and without Qt's Wayland plugin, with and
// without an X server beside it, a DISPLAY nobody answers, a platform that is not
// installed. An unattended start writes its clocks exactly, whether or not a window could
// show it, and says why none was shown; any other start says in one line what is missing
// and exits 1; the toolkit's abort never reaches the user. Every case runs as root and as
// nobody.

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

#include "chip/registers.h"
#include "tests/support/private_mounts.h"
#include "tests/support/program_runner.h"
#include "tests/support/staged_build.h"
#include "tests/support/virtual_tree.h"
#include "tests/support/temp_folder.h"

namespace tarvento::testing {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

// weston on its headless backend, run as nobody in nobody's own 0700 runtime folder, as a
// user's session runs it.
class Weston {
public:
    Weston() {
        if (runtime_.Path().empty() || chown(runtime_.Path().c_str(), kNobody, kNobody) != 0) return;
        socket_ = "tarvento-test-" + std::to_string(getpid());
        pid_ = fork();
        if (pid_ == 0) {
            if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)
                _exit(127);
            setenv("XDG_RUNTIME_DIR", runtime_.Path().c_str(), 1);
            setenv("HOME", runtime_.Path().c_str(), 1);
            const int devnull = open("/dev/null", O_RDWR);
            dup2(devnull, 1);
            dup2(devnull, 2);
            const std::string socketOption = "--socket=" + socket_;
            execlp("weston", "weston", "--backend=headless-backend.so", socketOption.c_str(),
                   "--idle-time=0", static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 200 && !fs::exists(runtime_.Path() / socket_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~Weston() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool Running() const { return pid_ > 0 && fs::exists(runtime_.Path() / socket_); }
    std::string RuntimeDir() const { return runtime_.Path().string(); }
    const std::string& Socket() const { return socket_; }

private:
    TempFolder runtime_;
    std::string socket_;
    pid_t pid_ = -1;
};

enum class WaylandPlugin { None, Installed, Hidden };  // None: no compositor at all
enum class X { Unset, Answers, Silent };

struct Case {
    const char* what;
    WaylandPlugin wayland;
    X x;
    const char* platform;  // QT_QPA_PLATFORM, or nullptr
    const char* session;   // XDG_SESSION_TYPE, or nullptr
    bool unattended;       // RIVA_TNT 120 100; else no arguments
    int status;
    bool window;           // a window opened: the unattended notice's 1.5 s
    const char* says;      // a part of the one line on standard error; "" for a window
};

#define TARVENTO_NO_WAYLAND_PLUGIN                                        \
    "Qt's Wayland platform plugin is not installed (install the package " \
    TARVENTO_WAYLAND_PACKAGE ")"

// A Wayland session says so in XDG_SESSION_TYPE, which is all that Qt 5 (the i386 window)
// goes by; Qt 6 also takes a set WAYLAND_DISPLAY for one.
const Case kCases[] = {
    {"Wayland with the plugin: the notice shows and closes by itself",
     WaylandPlugin::Installed, X::Unset, nullptr, "wayland", true, 0, true, ""},
    {"Wayland without the plugin, no X server: applied",
     WaylandPlugin::Hidden, X::Unset, nullptr, "wayland", true, 0, false,
     "no window was shown: " TARVENTO_NO_WAYLAND_PLUGIN},
    {"Wayland without the plugin, no X server: interactive",
     WaylandPlugin::Hidden, X::Unset, nullptr, "wayland", false, 1, false,
     "no window can be shown: " TARVENTO_NO_WAYLAND_PLUGIN},
    {"Wayland without the plugin, an X server beside it: the window opens on X",
     WaylandPlugin::Hidden, X::Answers, nullptr, "wayland", true, 0, true, ""},
    {"A DISPLAY nobody answers: applied",
     WaylandPlugin::None, X::Silent, nullptr, nullptr, true, 0, false,
     "no window was shown: cannot open the display :4711"},
    {"A DISPLAY nobody answers: interactive",
     WaylandPlugin::None, X::Silent, nullptr, nullptr, false, 1, false,
     "no window can be shown: cannot open the display :4711"},
    {"A platform that is not installed: interactive",
     WaylandPlugin::None, X::Unset, "nosuch", nullptr, false, 1, false,
     "no window can be shown: no Qt platform plugin \"nosuch\" is installed"},
    {"A platform list whose first is not installed: the next opens",
     WaylandPlugin::None, X::Unset, "nosuch;offscreen", nullptr, true, 0, true, ""},
    {"A Wayland session type but no compositor, a DISPLAY nobody answers: interactive",
     WaylandPlugin::None, X::Silent, nullptr, "wayland", false, 1, false,
     "no window can be shown: no Wayland compositor answers at "},
};

class NoWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "needs root: to hide a plugin and to run as nobody";
        const fs::path built = fs::path(TARVENTO_PROGRAM).parent_path().parent_path();
        if (!fs::exists(built / "lib/tarvento/libtarvento_ui.so"))
            GTEST_SKIP() << "built without the window library";
        if (!fs::exists(fs::path(TARVENTO_QT_PLATFORM_PLUGINS) / "libqwayland-generic.so"))
            GTEST_SKIP() << "Qt's Wayland plugin is not installed (scripts/install-deps)";
        weston.emplace();
        if (!weston->Running()) GTEST_SKIP() << "weston does not run here (scripts/install-deps)";
        if (x.Display().empty()) GTEST_SKIP() << "Xvfb is not available";
        if (!WhyNoPrivateMounts().empty()) GTEST_SKIP() << "cannot hide Qt's Wayland plugin: " << WhyNoPrivateMounts();
        // The platform plugin folder as it is without Qt's Wayland plugin. Copies: where it
        // is mounted, links to the real folder would point at themselves.
        chmod(withoutWayland.Path().c_str(), 0755);
        for (const auto& plugin : fs::directory_iterator(TARVENTO_QT_PLATFORM_PLUGINS)) {
            if (plugin.path().filename().string().find("wayland") == std::string::npos)
                fs::copy_file(plugin.path(), withoutWayland.Path() / plugin.path().filename());
        }
    }

    ProgramResult Run(const Case& c, bool asNobody, const VirtualTree& tree) {
        std::map<std::string, std::string> set = {
            {"TARVENTO_SYSFS_ROOT", tree.RootString()},
            {"XDG_CONFIG_DIRS", (tree.Root() / "xdg").string()},
            {"XDG_CONFIG_HOME", (tree.Root() / "config").string()},
            {"XDG_RUNTIME_DIR", weston->RuntimeDir()},
            // The record of the apply, where nobody may write it too.
            {"XDG_STATE_HOME", std::string(weston->RuntimeDir()) + (asNobody ? "/state-nobody" : "/state-root")},
            // Under the leak checker, the libraries Qt brings keep allocations of their own.
            {"LSAN_OPTIONS", "suppressions=" + StagedFile(TARVENTO_TEST_DATA_DIR "/sanitizers/lsan.supp").string()}};
        if (c.wayland != WaylandPlugin::None) set["WAYLAND_DISPLAY"] = weston->Socket();
#if defined(__SANITIZE_ADDRESS__)
        // Qt's Wayland plugin loads Mesa's EGL driver, which Mesa unloads at exit, and the
        // leak checker cannot name what it keeps. Widgets draw into shared memory: without
        // the EGL integration the window is the same.
        set["QT_WAYLAND_CLIENT_BUFFER_INTEGRATION"] = "none";
#endif
        if (c.x == X::Answers) set["DISPLAY"] = x.Display();
        if (c.x == X::Silent) set["DISPLAY"] = ":4711";
        if (c.platform) set["QT_QPA_PLATFORM"] = c.platform;
        if (c.session) set["XDG_SESSION_TYPE"] = c.session;
        std::vector<std::string> unset = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                                          "XDG_SESSION_TYPE", "QT_QPA_PLATFORM_PLUGIN_PATH",
                                          "QT_PLUGIN_PATH", "WAYLAND_SOCKET"};

        std::vector<std::string> command;
        if (c.wayland == WaylandPlugin::Hidden) {
            // A private mount table where Qt's platform folder is the one without the
            // plugin: for the program and for Qt, exactly as if it was never installed.
            command = InPrivateMounts({"sh", "-c", "mount --bind \"$1\" \"$2\" && shift 2 && exec \"$@\"",
                                       "sh", withoutWayland.Path().string(), TARVENTO_QT_PLATFORM_PLUGINS});
        }
        if (asNobody) {
            command.insert(command.end(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                           "--clear-groups"});
        }
        // The build may lie where nobody cannot pass: nobody starts the copy everyone may.
        command.emplace_back(asNobody ? StagedProgram().string() : TARVENTO_PROGRAM);
        if (c.unattended) command.insert(command.end(), {"RIVA_TNT", "120", "100"});
        const std::string program = command.front();
        command.erase(command.begin());
        return RunProgram(program, command, set, unset, 20);
    }

    std::optional<Weston> weston;
    PrivateXServer x;
    TempFolder withoutWayland{0755};
};

TEST_F(NoWindow, UnattendedStartsApplyAndOthersSayWhatIsMissing) {
    for (const Case& c : kCases) {
        for (const bool asNobody : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (asNobody ? ", as nobody" : ", as root"));
            VirtualTree tree;
            tree.AddTnt(1, 0, 0, 0xE0000000);
            const fs::path resource0 = tree.SlotDir(1, 0, 0) / "resource0";
            // The card's registers are the user's, as the udev rule's group makes them.
            for (const auto& e : fs::recursive_directory_iterator(tree.Root()))
                chmod(e.path().c_str(), e.is_directory() ? 0755 : 0644);
            chmod(tree.Root().c_str(), 0755);
            chmod(resource0.c_str(), 0666);
            const std::vector<char> before = tree.FileBytes(resource0);

            const ProgramResult r = Run(c, asNobody, tree);
            ASSERT_FALSE(r.timedOut);
            EXPECT_EQ(r.status, c.status) << r.err;
            if (c.unattended && c.status == 0) {
                // The stock words (M 12, P 1) with N for 120 and 100 MHz from the 14.318
                // MHz crystal: 14.318 * 201 / 24 = 119.9, 14.318 * 167 / 24 = 99.6.
                EXPECT_EQ(tree.FileWord(resource0, kMemPllOffset), 0x0001C90Cu);
                EXPECT_EQ(tree.FileWord(resource0, kCorePllOffset), 0x0001A70Cu);
                if (!c.window) {
                    EXPECT_NE(r.out.find("RIVA_TNT"), std::string::npos) << r.out;
                }
            } else {
                EXPECT_TRUE(tree.FileBytes(resource0) == before) << "a register was written";
            }
            if (c.window) {
                EXPECT_GT(r.seconds, 1.2) << "no notice was shown";
                EXPECT_LT(r.seconds, 3.5) << "the notice did not close by itself";
                EXPECT_EQ(r.err.find("no window"), std::string::npos) << r.err;
            } else {
                // One line, the program's own, and nothing of the toolkit.
                EXPECT_EQ(r.err.rfind("tarvento: ", 0), 0u) << r.err;
                EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
                EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
            }
        }
    }
}

}  // namespace
}  // namespace tarvento::testing
