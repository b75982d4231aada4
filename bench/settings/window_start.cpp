// From the start of the whole program until its settings window is on screen, with a settings
// file of a given number of rules, and the program's peak memory by then. Runs inside an X
// session with a window manager; bench/settings/window_start.sh provides one.
// Usage: settings_window_start <ombrel executable> <rules, 0 for the starter set> [runs [off]]
//        settings_window_start --write <rules> <file>: writes such a settings file only
//        settings_window_start --decode <file>: the time and memory of decoding one
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
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

// A managed, viewable window named "Ombrel".
bool settingsWindowShown(Display* d) {
    const Atom clients = XInternAtom(d, "_NET_CLIENT_LIST", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, DefaultRootWindow(d), clients, 0, 1024, False, XA_WINDOW, &type,
                           &format, &count, &after, &data) != Success ||
        data == nullptr) {
        return false;
    }
    bool shown = false;
    const auto* windows = reinterpret_cast<const Window*>(data);
    for (unsigned long i = 0; i < count && !shown; ++i) {
        char* name = nullptr;
        XWindowAttributes a{};
        if (XFetchName(d, windows[i], &name) != 0 && name != nullptr) {
            shown = std::strcmp(name, "Ombrel") == 0 && XGetWindowAttributes(d, windows[i], &a) &&
                    a.map_state == IsViewable;
            XFree(name);
        }
    }
    XFree(data);
    return shown;
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
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    Display* d = XOpenDisplay(nullptr);
    if (d == nullptr) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    // Windows come and go while the list is read.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
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
