// What the input thread costs while nothing is bound to what the user does: its wake-ups per
// minute at rest, and its CPU time and wake-ups per unbound key (F12 tapped on the server's own
// keyboard device into a window of the bench's, 2 ms apart, as a person types), with the starter
// set and with the starter set grown to 100,000 rules. Counted from /proc for the thread alone (CPU
// time from schedstat, wake-ups as voluntary context switches), idle subtracted. The baseline, from
// the same run: a bare client that only reads the raw key events, the least any listener pays.
// Run by hand: input_thread_bench [keys] [idle seconds]   (2000 keys and 10 s by default)
#include <QApplication>

#include "engine/engine.h"
#include "program.h"
#include "typist.h"
#include "x_session.h"

#include <X11/extensions/XInput.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using namespace ombrel;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

struct Usage {
    double cpuNs = 0;
    double wakeUps = 0;  // voluntary context switches: each is a wait that ended
};

Usage usageOf(pid_t tid) {
    const std::string task = "/proc/self/task/" + std::to_string(tid);
    Usage u;
    std::ifstream(task + "/schedstat") >> u.cpuNs;
    std::ifstream status(task + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
            u.wakeUps =
                std::strtod(line.c_str() + std::strlen("voluntary_ctxt_switches:"), nullptr);
        }
    }
    return u;
}

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// The starter set grown to n rules with keys no keyboard has, every third scoped to an
// application, every fifth disabled: listed, never fired.
Config rules(long n) {
    Config config = Config::starter();
    for (long i = static_cast<long>(config.bindings.size()); i < n; ++i) {
        std::optional<std::string> scope;
        if (i % 3 == 0) {
            scope = "org.example.app" + std::to_string(i % 7);
        }
        config.bindings.push_back(Rule::make(Trigger::hotkey({1000 + i, Mods(i % 16)}),
                                             Action::window(WindowAction::leftHalf), scope,
                                             i % 5 != 0));
    }
    return config;
}

// Waits until the thread has used no CPU for 100 ms: every event sent has been handled.
void settle(pid_t tid) {
    for (int i = 0; i < 100; ++i) {
        const double before = usageOf(tid).cpuNs;
        std::this_thread::sleep_for(100ms);
        if (usageOf(tid).cpuNs == before) {
            return;
        }
    }
}

// Idle wake-ups per minute, then the median of five rounds of keys: CPU µs and wake-ups per key.
void measure(const char* name, Display* d, XDevice* keyboard, pid_t tid, long keys,
             double idleSeconds) {
    settle(tid);
    const auto t0 = Clock::now();
    const Usage i0 = usageOf(tid);
    std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
    const Usage i1 = usageOf(tid);
    const double idleS = seconds(t0);
    const double idleCpu = (i1.cpuNs - i0.cpuNs) / idleS;
    const double idleWake = (i1.wakeUps - i0.wakeUps) / idleS;
    const KeyCode f12 = XKeysymToKeycode(d, XK_F12);
    std::vector<double> cpu;
    std::vector<double> wakeUps;
    for (int round = 0; round < 5; ++round) {
        const auto k0 = Clock::now();
        const Usage u0 = usageOf(tid);
        const long n = std::max(1L, keys / 5);
        for (long i = 0; i < n; ++i) {
            XTestFakeDeviceKeyEvent(d, keyboard, f12, True, nullptr, 0, CurrentTime);
            XTestFakeDeviceKeyEvent(d, keyboard, f12, False, nullptr, 0, CurrentTime);
            XSync(d, False);
            std::this_thread::sleep_for(2ms);
        }
        settle(tid);
        const Usage u1 = usageOf(tid);
        const double s = seconds(k0);
        cpu.push_back((u1.cpuNs - u0.cpuNs - idleCpu * s) / static_cast<double>(n) / 1000);
        wakeUps.push_back((u1.wakeUps - u0.wakeUps - idleWake * s) / static_cast<double>(n));
    }
    std::sort(cpu.begin(), cpu.end());
    std::sort(wakeUps.begin(), wakeUps.end());
    std::printf(
        "%-22s idle %5.1f wake-ups/min; per unbound key %6.2f µs CPU (rounds %.2f to %.2f), "
        "%4.2f wake-ups\n",
        name, idleWake * 60, cpu[2], cpu.front(), cpu.back(), wakeUps[2]);
}

void program(xsession::XSession& session, long n, long keys, double idleSeconds) {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("ombrel-input-thread-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    {
        platform_test::Program program(folder);
        program.store.setConfig(rules(n));
        program.start();
        Display* d = session.display();
        const Window w = session.createWindow("bench", "OmbrelBench", 300, 200, 500, 350);
        XDevice* keyboard = xsession::openKeyboard(d);
        pid_t tid = 0;
        program.threads.onInput([&](Engine&) { tid = gettid(); });
        if (!xsession::XSession::waitUntil([&] { return program.tapInstalled(); }, 120s) ||
            w == 0 || !session.activate(w) || keyboard == nullptr) {
            std::fprintf(stderr, "set-up failed\n");
            std::exit(1);
        }
        const std::string name = "ombrel, " + std::to_string(n) + " rules:";
        measure(name.c_str(), d, keyboard, tid, keys, idleSeconds);
        XDestroyWindow(d, w);
        XCloseDevice(d, keyboard);
        XSync(d, False);
    }
    std::filesystem::remove_all(folder);
}

// A client on a thread of its own that reads raw key events and does nothing else.
void bareListener(xsession::XSession& session, long keys, double idleSeconds) {
    std::atomic<pid_t> tid{0};
    std::atomic<bool> stop{false};
    std::thread listener([&] {
        Display* d = XOpenDisplay(session.displayName().c_str());
        std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> bits{};
        XISetMask(bits.data(), XI_RawKeyPress);
        XISetMask(bits.data(), XI_RawKeyRelease);
        XIEventMask mask{XIAllMasterDevices, static_cast<int>(bits.size()), bits.data()};
        XISelectEvents(d, DefaultRootWindow(d), &mask, 1);
        XSync(d, False);
        tid = gettid();
        while (!stop) {
            pollfd p{ConnectionNumber(d), POLLIN, 0};
            poll(&p, 1, -1);
            while (XPending(d) > 0) {
                XEvent e;
                XNextEvent(d, &e);
                if (XGetEventData(d, &e.xcookie)) {
                    XFreeEventData(d, &e.xcookie);
                }
            }
        }
        XCloseDisplay(d);
    });
    while (tid == 0) {
        std::this_thread::sleep_for(1ms);
    }
    XDevice* keyboard = xsession::openKeyboard(session.display());
    Display* d = session.display();
    measure("bare raw-key listener:", d, keyboard, tid, keys, idleSeconds);
    stop = true;  // seen at the next key
    XTestFakeDeviceKeyEvent(d, keyboard, XKeysymToKeycode(d, XK_F12), True, nullptr, 0, 0);
    XTestFakeDeviceKeyEvent(d, keyboard, XKeysymToKeycode(d, XK_F12), False, nullptr, 0, 0);
    XSync(d, False);
    listener.join();
    XCloseDevice(d, keyboard);
}

}  // namespace

int main(int argc, char** argv) {
    xsession::XSession session;
    if (!session.ready()) {
        std::fprintf(stderr, "no X session: %s\n", session.failure().c_str());
        return 1;
    }
    QApplication app(argc, argv);  // the program's overlays are widgets
    const long keys = argc > 1 ? std::max(1L, std::atol(argv[1])) : 2000;
    const double idle = argc > 2 ? std::max(1.0, std::atof(argv[2])) : 10.0;
    bareListener(session, keys, idle);
    for (const long n : {static_cast<long>(Config::starter().bindings.size()), 100000L}) {
        program(session, n, keys, idle);
    }
    return 0;
}
