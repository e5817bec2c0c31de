// SPDX-License-Identifier: GPL-3.0-or-later
// How long a program takes from its start until its first window is mapped on the X
// server in $DISPLAY (a private Xvfb: no window manager, so a top-level window maps as
// soon as the program maps it). The program is killed once the window is up.
//
//   tarvento_map_timer RUNS [--answer COMMAND] -- PROGRAM [ARGS...] [--versus OTHER [ARGS...]]
//
// With --versus, the two programs take turns, run by run, so that both meet the same
// load on the machine, and the ratio of the medians is printed. With --answer, COMMAND
// runs (through /bin/sh) once the first window of PROGRAM is up, and the time until a
// second top-level window maps is measured as well: the main window behind a start-up
// box answered by COMMAND. Prints the median, minimum and mean of each in ms.

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Waits for the next MapNotify of a child of the root window and gives the window;
// XCB_NONE after the deadline.
xcb_window_t WaitForMap(xcb_connection_t* x, Clock::time_point deadline) {
    const int fd = xcb_get_file_descriptor(x);
    for (;;) {
        while (xcb_generic_event_t* e = xcb_poll_for_event(x)) {
            xcb_window_t window = XCB_NONE;
            if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY)
                window = reinterpret_cast<xcb_map_notify_event_t*>(e)->window;
            std::free(e);
            if (window != XCB_NONE) return window;
        }
        if (xcb_connection_has_error(x)) return XCB_NONE;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return XCB_NONE;
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, static_cast<int>(left));
    }
}

// The window's title, so a reader can see which window was timed.
std::string Title(xcb_connection_t* x, xcb_window_t window) {
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(x, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(x, cookie, nullptr), &std::free);
    if (!reply) return "";
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       static_cast<size_t>(xcb_get_property_value_length(reply.get())));
}

void PrintStats(const char* what, std::vector<double> ms) {
    if (ms.empty()) return;
    std::sort(ms.begin(), ms.end());
    const double mean = std::accumulate(ms.begin(), ms.end(), 0.0) / static_cast<double>(ms.size());
    std::printf("%s: median %.1f ms, min %.1f ms, mean %.1f ms (%zu runs)\n", what, ms[ms.size() / 2],
                ms.front(), mean, ms.size());
}

struct Timed {
    std::vector<double> first, second;
};

// One start of `program`; false when no window came.
bool TimeOnce(xcb_connection_t* x, char** program, const char* answer, bool show, Timed& out) {
    // Nothing left over from the previous run.
    while (xcb_generic_event_t* e = xcb_poll_for_event(x)) std::free(e);
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, program[0], nullptr, nullptr, program, environ) != 0) {
        std::fprintf(stderr, "map_timer: cannot start %s\n", program[0]);
        return false;
    }
    xcb_window_t window = WaitForMap(x, start + std::chrono::seconds(20));
    bool ok = window != XCB_NONE;
    if (ok) out.first.push_back(Ms(Clock::now() - start));
    if (ok && show) std::printf("%s: first window \"%s\"\n", program[0], Title(x, window).c_str());
    if (ok && answer != nullptr) {
        if (std::system(answer) != 0) std::fprintf(stderr, "map_timer: the answer failed\n");
        window = WaitForMap(x, start + std::chrono::seconds(20));
        ok = window != XCB_NONE;
        if (ok) out.second.push_back(Ms(Clock::now() - start));
        if (ok && show) std::printf("%s: second window \"%s\"\n", program[0], Title(x, window).c_str());
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    if (!ok) std::fprintf(stderr, "map_timer: %s: no window was mapped\n", program[0]);
    return ok;
}

double Median(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return ms.empty() ? 0 : ms[ms.size() / 2];
}

void Usage(const char* self) {
    std::fprintf(stderr, "usage: %s RUNS [--answer COMMAND] -- PROGRAM [ARGS...] [--versus OTHER [ARGS...]]\n",
                 self);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        Usage(argv[0]);
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const char* answer = nullptr;
    int at = 2;
    if (std::strcmp(argv[at], "--answer") == 0 && at + 1 < argc) {
        answer = argv[at + 1];
        at += 2;
    }
    if (at >= argc || std::strcmp(argv[at], "--") != 0 || at + 1 >= argc || runs < 1) {
        Usage(argv[0]);
        return 2;
    }
    char** program = argv + at + 1;
    char** other = nullptr;
    for (int i = at + 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--versus") == 0) {
            argv[i] = nullptr;  // ends the first program's arguments
            if (i + 1 < argc) other = argv + i + 1;
            break;
        }
    }

    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) {
        std::fprintf(stderr, "map_timer: cannot open the display\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x);

    Timed a, b;
    for (int run = 0; run < runs; ++run) {
        if (!TimeOnce(x, program, answer, run == 0, a)) return 1;
        if (other != nullptr && !TimeOnce(x, other, nullptr, run == 0, b)) return 1;
    }
    xcb_disconnect(x);
    PrintStats("first window mapped", a.first);
    if (answer != nullptr) PrintStats("second window mapped", a.second);
    if (other != nullptr) {
        PrintStats("versus: first window mapped", b.first);
        std::printf("ratio of the medians, first window: %.2f\n", Median(a.first) / Median(b.first));
    }
    return 0;
}
