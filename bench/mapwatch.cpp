// Starts a program on the X display and times how long it takes until a top-level
// window with a given title is mapped, then reports the program's resident memory.
//
// The X server reports every map of a child of the root window to a client that asked
// for substructure events on the root, so the moment of the map is taken from the
// server's own event, not from polling the window tree. The clock starts right before
// the program is spawned, after the watch is known to be in place (one round trip).
// Without a window manager (the benchmarks run under a bare Xvfb) a top-level is
// mapped directly on the root, which is what makes this work.
//
//   mapwatch [--settle MS] [--timeout MS] [--keep] TITLE -- PROGRAM [ARGS...]
//
// Prints one line "startup_us=N rss_kb=N pid=N". The memory is read MS milliseconds
// (default 500) after the map, once the first paint is done. With --keep the program
// is left running (its id is in the line); otherwise it is ended.
#include <xcb/xcb.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int settleMs = 500;
    int timeoutMs = 20000;
    bool keep = false;
    std::string title;
    char **program = nullptr;
};

bool parse(int argc, char **argv, Options &o)
{
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--settle") == 0 && i + 1 < argc)
            o.settleMs = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc)
            o.timeoutMs = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--keep") == 0)
            o.keep = true;
        else if (o.title.empty())
            o.title = argv[i];
        else
            return false;
    }
    if (i + 1 >= argc || o.title.empty())
        return false;
    o.program = argv + i + 1;
    return true;
}

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> r(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr),
        &std::free);
    return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
}

std::string property(xcb_connection_t *c, xcb_window_t w, xcb_atom_t name, xcb_atom_t type)
{
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> r(
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, name, type, 0, 1024), nullptr),
        &std::free);
    if (!r)
        return {};
    return std::string(static_cast<const char *>(xcb_get_property_value(r.get())),
                       xcb_get_property_value_length(r.get()));
}

long residentKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

void end(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr, "usage: mapwatch [--settle MS] [--timeout MS] [--keep] TITLE -- PROGRAM [ARGS...]\n");
        return 2;
    }
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "mapwatch: cannot open the display\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t netWmName = atom(c, "_NET_WM_NAME");
    const xcb_atom_t utf8 = atom(c, "UTF8_STRING");
    // The atoms' replies have come back, so the event mask is in force.

    // The program writes to our error output: our own output is the one result line,
    // and a program left running must not hold open a pipe that a caller reads to its end.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    const auto start = Clock::now();
    pid_t pid = 0;
    const int e = posix_spawnp(&pid, o.program[0], &actions, nullptr, o.program, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (e != 0) {
        std::fprintf(stderr, "mapwatch: cannot start %s: %s\n", o.program[0], std::strerror(e));
        return 1;
    }

    const auto deadline = start + std::chrono::milliseconds(o.timeoutMs);
    Clock::time_point shown{};
    while (shown == Clock::time_point{}) {
        while (xcb_generic_event_t *ev = xcb_poll_for_event(c)) {
            const auto at = Clock::now();
            if ((ev->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(ev);
                std::string title = property(c, map->window, netWmName, utf8);
                if (title.empty())
                    title = property(c, map->window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING);
                if (title == o.title && shown == Clock::time_point{})
                    shown = at;
            }
            std::free(ev);
        }
        if (shown != Clock::time_point{})
            break;
        if (xcb_connection_has_error(c)) {
            std::fprintf(stderr, "mapwatch: lost the display\n");
            end(pid);
            return 1;
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            std::fprintf(stderr, "mapwatch: %s ended before showing \"%s\"\n", o.program[0],
                         o.title.c_str());
            return 1;
        }
        if (Clock::now() > deadline) {
            std::fprintf(stderr, "mapwatch: no window \"%s\" within %d ms\n", o.title.c_str(),
                         o.timeoutMs);
            end(pid);
            return 1;
        }
        pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
        poll(&fd, 1, 20);
    }

    std::this_thread::sleep_for(std::chrono::milliseconds(o.settleMs));
    const long rss = residentKb(pid);
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(shown - start).count();
    std::printf("startup_us=%lld rss_kb=%ld pid=%d\n", static_cast<long long>(us), rss, int(pid));
    std::fflush(stdout);
    xcb_disconnect(c);
    if (!o.keep)
        end(pid);
    return 0;
}
