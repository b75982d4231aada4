// From the start of the whole program until its settings window is on screen, with a settings
// file of a given number of rules, and the program's peak memory by then. Runs inside an X
// session with a window manager; bench/settings/window_start.sh provides one.
// Usage: settings_window_start <ombrel executable> <rules, 0 for the starter set> [runs [off]]
//        settings_window_start --write <rules> <file>: writes such a settings file only
//        settings_window_start --decode <file>: the time and memory of decoding one
//        settings_window_start --switch <ombrel executable> <rules> [flips]: flips the window's
//            "Ombrel is on" switch with the pointer; the time from each flip until the settings
//            file is replaced, and the longest the window left a ping unanswered meanwhile
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "config/json_codec.h"
#include "config/model.h"

namespace {

using Clock = std::chrono::steady_clock;

ombrel::Config rules(long count) {
    if (count == 0) {
        return ombrel::Config::starter();
    }
    ombrel::Config config;
    for (long i = 0; i < count; ++i) {
        // Mostly shortcuts, some mouse buttons, a third of them scoped to an application.
        const auto trigger = i % 10 == 9 ? ombrel::Trigger::mouseButton(2 + i % 6)
                                         : ombrel::Trigger::hotkey({i % 127, ombrel::Mods(i % 16)});
        std::optional<std::string> scope;
        if (i % 3 == 0) {
            scope = "org.example.app" + std::to_string(i % 50);
        }
        config.bindings.push_back(ombrel::Rule::make(
            trigger,
            i % 2 == 0 ? ombrel::Action::window(ombrel::WindowAction::leftHalf)
                       : ombrel::Action::shell("notify-send rule-" + std::to_string(i)),
            scope, i % 5 != 0));
    }
    return config;
}

// A managed, viewable window named "Ombrel", or None.
Window settingsWindow(Display* d) {
    const Atom clients = XInternAtom(d, "_NET_CLIENT_LIST", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, DefaultRootWindow(d), clients, 0, 1024, False, XA_WINDOW, &type,
                           &format, &count, &after, &data) != Success ||
        data == nullptr) {
        return None;
    }
    Window shown = None;
    const auto* windows = reinterpret_cast<const Window*>(data);
    for (unsigned long i = 0; i < count && shown == None; ++i) {
        char* name = nullptr;
        XWindowAttributes a{};
        if (XFetchName(d, windows[i], &name) != 0 && name != nullptr) {
            if (std::strcmp(name, "Ombrel") == 0 && XGetWindowAttributes(d, windows[i], &a) &&
                a.map_state == IsViewable) {
                shown = windows[i];
            }
            XFree(name);
        }
    }
    XFree(data);
    return shown;
}

bool settingsWindowShown(Display* d) {
    return settingsWindow(d) != None;
}

long peakKilobytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

// CPU time of every thread of a process, in nanoseconds.
long long cpuNanoseconds(pid_t pid) {
    long long sum = 0;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator(tasks, ec)) {
        long long ns = 0;
        std::ifstream(task.path() / "schedstat") >> ns;
        sum += ns;
    }
    return sum;
}

double since(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// Until the process has settled: under 1% of a core for half a second, and the X server answers
// at once (the grabs of the bindings placed or removed).
void settle(Display* d, pid_t pid) {
    for (int i = 0; i < 240; ++i) {
        const long long before = cpuNanoseconds(pid);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const auto asked = Clock::now();
        XSync(d, False);
        if (cpuNanoseconds(pid) - before < 5'000'000 && since(asked) < 2) {
            return;
        }
    }
}

// The program started on a settings file in home, until its window shows and it has settled.
// Its window, or None when it never showed.
Window startSettled(Display* d, const std::string& program, const std::filesystem::path& home,
                    pid_t& pid) {
    pid = fork();
    if (pid == 0) {
        setenv("XDG_CONFIG_HOME", home.c_str(), 1);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto start = Clock::now();
    Window window = None;
    while (window == None && Clock::now() - start < std::chrono::minutes(2) &&
           waitpid(pid, nullptr, WNOHANG) == 0) {
        window = settingsWindow(d);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (window != None) {
        settle(d, pid);
    }
    return window;
}

// Flips "Ombrel is on" in the sidebar's bottom corner with the pointer, as a person does, each
// time once the program has settled, and takes for each flip the milliseconds until the settings
// file has been replaced, and the longest a ping (_NET_WM_PING, which the toolkit answers on the
// window's thread) sent every 5 ms waited for its answer in the 1.5 s from the flip on.
int flipSwitch(Display* d, const std::string& program, long count, int flips) {
    char pattern[] = "/tmp/ombrel-switch-XXXXXX";
    const std::filesystem::path home = mkdtemp(pattern);
    const std::filesystem::path folder = home / "Ombrel";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "config.json") << *ombrel::encodeConfig(rules(count));
    pid_t pid = 0;
    const Window window = startSettled(d, program, home, pid);
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    inotify_add_watch(watch, folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    const Window root = DefaultRootWindow(d);
    // The answer goes to the root window, to those who listen for its structure.
    XSelectInput(d, root, StructureNotifyMask);
    const Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False);
    const Atom ping = XInternAtom(d, "_NET_WM_PING", False);
    Window child = None;
    int x = 0;
    int y = 0;
    XWindowAttributes a{};
    XGetWindowAttributes(d, window, &a);
    // The switch: 14 points in from the sidebar's right edge (210), 21 up from the bottom.
    XTranslateCoordinates(d, window, root, 210 - 12 - 2 - 16, a.height - 12 - 9, &x, &y, &child);
    std::vector<double> saves;
    double worstWait = 0;
    for (int flip = 0; flip < flips && window != None; ++flip) {
        if (flip > 0) {
            settle(d, pid);
        }
        XTestFakeMotionEvent(d, -1, x, y, 0);
        XTestFakeButtonEvent(d, 1, True, 0);
        XTestFakeButtonEvent(d, 1, False, 0);
        XSync(d, False);
        const auto flipped = Clock::now();
        std::vector<Clock::time_point> sent;
        std::vector<bool> answered;
        double saved = -1;
        auto nextPing = flipped;
        while (Clock::now() - flipped < std::chrono::milliseconds(1500)) {
            if (Clock::now() >= nextPing) {
                XEvent e{};
                e.xclient.type = ClientMessage;
                e.xclient.window = window;
                e.xclient.message_type = protocols;
                e.xclient.format = 32;
                e.xclient.data.l[0] = static_cast<long>(ping);
                e.xclient.data.l[1] = static_cast<long>(sent.size());
                e.xclient.data.l[2] = static_cast<long>(window);
                XSendEvent(d, window, False, NoEventMask, &e);
                XFlush(d);
                sent.push_back(Clock::now());
                answered.push_back(false);
                nextPing += std::chrono::milliseconds(5);
            }
            pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {watch, POLLIN, 0}};
            poll(fds, 2, 1);
            while (XPending(d) > 0) {
                XEvent e{};
                XNextEvent(d, &e);
                const auto seq = static_cast<std::size_t>(e.xclient.data.l[1]);
                if (e.type == ClientMessage && static_cast<Atom>(e.xclient.data.l[0]) == ping &&
                    seq < sent.size() && !answered[seq]) {
                    answered[seq] = true;
                    worstWait = std::max(worstWait, since(sent[seq]));
                }
            }
            alignas(inotify_event) char buffer[4096];
            for (ssize_t n; (n = read(watch, buffer, sizeof buffer)) > 0;) {
                for (char* p = buffer; p < buffer + n;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(p);
                    if (saved < 0 && event->len > 0 &&
                        std::strcmp(event->name, "config.json") == 0) {
                        saved = since(flipped);
                    }
                    p += sizeof(inotify_event) + event->len;
                }
            }
        }
        for (std::size_t i = 0; i < sent.size(); ++i) {
            if (!answered[i]) {
                worstWait = std::max(worstWait, since(sent[i]));
            }
        }
        if (saved < 0) {
            std::fprintf(stderr, "flip %d: the settings file was not saved\n", flip);
        }
        saves.push_back(saved);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    close(watch);
    std::filesystem::remove_all(home);
    if (saves.empty()) {
        std::fprintf(stderr, "the window never showed\n");
        return 1;
    }
    std::sort(saves.begin(), saves.end());
    std::printf(
        "rules %ld: switch flipped → file saved after %.0f ms (median of %zu), window unanswering "
        "for at most %.0f ms\n",
        count, saves[saves.size() / 2], saves.size(), worstWait);
    return saves.front() < 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <ombrel> <rules> [runs]\n", argv[0]);
        return 2;
    }
    const std::string program = argv[1];
    const long count = std::atol(argv[2]);
    if (program == "--write") {
        // Only the settings file, for a look at the program by other means.
        std::ofstream(argv[3]) << *ombrel::encodeConfig(rules(count));
        return 0;
    }
    if (program == "--decode") {
        // The decoder's share: time and peak memory of reading a file written with --write.
        std::ifstream in(argv[2]);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        const long before = peakKilobytes(getpid());
        const auto start = Clock::now();
        const auto decoded = ombrel::decodeConfig(text);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        std::printf(
            "%s: decoded in %.0f ms, peak RSS %.1f MB before, %.1f MB after (file %.1f MB)\n",
            argv[2], ms, static_cast<double>(before) / 1024.0,
            static_cast<double>(peakKilobytes(getpid())) / 1024.0,
            static_cast<double>(text.size()) / 1e6);
        return std::holds_alternative<ombrel::Config>(decoded) ? 0 : 1;
    }
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    // Windows come and go while the list is read.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    if (program == "--switch" && argc > 3) {
        const int status =
            flipSwitch(d, argv[2], std::atol(argv[3]), argc > 4 ? std::atoi(argv[4]) : 6);
        XCloseDisplay(d);
        return status;
    }
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    char pattern[] = "/tmp/ombrel-start-XXXXXX";
    const std::filesystem::path home = mkdtemp(pattern);
    std::filesystem::create_directories(home / "Ombrel");
    // "off": the engine switched off in the file, so that no binding is grabbed at start.
    ombrel::Config config = rules(count);
    config.engineEnabled = !(argc > 4 && std::strcmp(argv[4], "off") == 0);
    std::ofstream(home / "Ombrel" / "config.json") << *ombrel::encodeConfig(config);
    const std::string text = [&] {
        std::ifstream in(home / "Ombrel" / "config.json");
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }();

    std::vector<double> times;
    long peak = 0;
    for (int run = 0; run < runs; ++run) {
        // Each run starts from the same file: the program may have rewritten it.
        std::ofstream(home / "Ombrel" / "config.json") << text;
        const auto start = Clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("XDG_CONFIG_HOME", home.c_str(), 1);
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        bool shown = false;
        while (!shown && Clock::now() - start < std::chrono::minutes(5)) {
            shown = settingsWindowShown(d);
            if (!shown) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        // Peak memory once the window has settled.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        peak = std::max(peak, peakKilobytes(pid));
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        if (!shown) {
            std::fprintf(stderr, "the window never showed\n");
            break;
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("rules %ld: window shown after %.0f ms (median of %zu), peak RSS %.1f MB\n", count,
                times[times.size() / 2], times.size(), static_cast<double>(peak) / 1024.0);
    std::filesystem::remove_all(home);
    XCloseDisplay(d);
    return 0;
}
