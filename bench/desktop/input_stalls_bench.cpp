// How long the keyboard stays frozen while the program is busy elsewhere, measured the way a user
// feels it: a client types into the focused window and times each key's arrival. A key typed
// after a bound one arrives only once the program has answered the bound one's grab.
//
// For each ombrel binary given, in interleaved rounds on one private X session (openbox) and
// session bus, with a fresh instance per case:
//   idle          a bound hotkey, then a typed key, with nothing else going on
//   placements    16 presses of a placing shortcut 20 ms apart on an xterm, then a typed key
//                 (also with the window manager stopped)
//   flood         a bound hotkey while 30,000 run requests arrive, twice; the instance's RSS
//                 before and after each flood
//   bus stopped   Mission Control with the session bus daemon stopped, then a bound hotkey and a
//                 typed key
//   start / edit  a bound hotkey while an instance with 10,000 rules starts, once it has settled
//                 (the typed key is bound too, for other applications), and while it takes on a
//                 hand edit of its settings file
// Run by hand:  input_stalls_bench [--rounds N] <ombrel binary>...
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>

#include "config/json_codec.h"
#include "config/model.h"
#include "private_bus.h"
#include "typist.h"
#include "x_session.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

using namespace ombrel;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

constexpr auto patience = 10s;

constexpr Mods ctrlAlt(Mods::control | Mods::option);

// The probe (control+option+K centres the window), the placing shortcut (control+option+Left),
// Mission Control (control+option+M), and as many more rules as asked for: shortcuts over 50 keys
// and 15 modifier sets, each scoped to one of 200 applications.
Config settings(int extra) {
    Config config;
    config.bindings.push_back(Rule::make(Trigger::hotkey({40, ctrlAlt}),
                                         Action::window(WindowAction::center), std::nullopt, true));
    config.bindings.push_back(Rule::make(Trigger::hotkey({123, ctrlAlt}),
                                         Action::window(WindowAction::leftHalf), std::nullopt,
                                         true));
    config.bindings.push_back(Rule::make(Trigger::hotkey({46, ctrlAlt}),
                                         Action::system(SystemAction::missionControl), std::nullopt,
                                         true));
    for (int i = 0; i < extra; ++i) {
        config.bindings.push_back(Rule::make(Trigger::hotkey({i % 50, Mods(1 + (i / 50) % 15)}),
                                             Action::shell("true"),
                                             "app-" + std::to_string(i % 200), true));
    }
    return config;
}

void writeSettings(const fs::path& home, const Config& config) {
    fs::create_directories(home / "Ombrel");
    std::ofstream(home / "Ombrel" / "config.json") << encodeConfig(config).value_or("");
}

long rssKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

struct Results {
    std::vector<double> ms;
    int timedOut = 0;
    void add(const std::optional<double>& sample) {
        if (sample) {
            ms.push_back(*sample);
        } else {
            ++timedOut;
        }
    }
};

std::string summary(const Results& r) {
    const auto limit = std::chrono::duration_cast<std::chrono::milliseconds>(patience).count();
    std::vector<double> v = r.ms;
    std::sort(v.begin(), v.end());
    char text[128];
    if (v.empty()) {
        std::snprintf(text, sizeof text, "%3d samples, all beyond %lld ms", r.timedOut,
                      static_cast<long long>(limit));
    } else {
        std::snprintf(text, sizeof text, "%3zu samples  median %8.2f ms  max %8.2f ms%s",
                      v.size() + r.timedOut, v[v.size() / 2], v.back(),
                      r.timedOut > 0 ? "  (some beyond the patience)" : "");
    }
    return text;
}

class Bench {
  public:
    Bench(xsession::XSession& session, fs::path home) : session_(session), home_(std::move(home)) {
        ctrl_ = typist_.code("Control_L");
        alt_ = typist_.code("Alt_L");
        k_ = typist_.code("k");
        z_ = typist_.code("z");
        left_ = typist_.code("Left");
        m_ = typist_.code("m");
    }

    bool ready() { return typist_.ready() && focusTerminal(); }

    // Starts an instance with the settings and waits until its probe is swallowed.
    bool start(const std::string& binary, int extra) {
        writeSettings(home_, settings(extra));
        program_ = xsession::XSession::start({binary});
        return program_ > 0 && waitForGrab(30s);
    }
    void stop() {
        xsession::XSession::stop(program_);
        // The next instance must not find this one's settings window or bus name.
        std::this_thread::sleep_for(200ms);
    }

    // The probe, then a typed key: how long the key took. Whichever window has the focus (the
    // instance's settings window takes it when it opens), the key is seen.
    std::optional<double> hotkeyThaw() {
        for (const Window w : clients()) {
            if (std::find(watched_.begin(), watched_.end(), w) == watched_.end()) {
                watched_.push_back(w);
                typist_.watch(w);
            }
        }
        typist_.forget();
        typist_.chord({ctrl_, alt_}, k_);
        return typist_.timedTap(z_, patience);
    }

    void idle(Results& r) {
        for (int i = 0; i < 20; ++i) {
            r.add(hotkeyThaw());
            std::this_thread::sleep_for(20ms);
        }
    }

    void placements(Results& r, bool windowManagerStopped) {
        session_.activate(terminal_);
        if (windowManagerStopped) {
            kill(session_.windowManager(), SIGSTOP);
        }
        typist_.key(ctrl_, true);
        typist_.key(alt_, true);
        for (int i = 0; i < 16; ++i) {
            typist_.key(left_, true);
            typist_.key(left_, false);
            std::this_thread::sleep_for(20ms);
        }
        typist_.key(alt_, false);
        typist_.key(ctrl_, false);
        typist_.forget();
        r.add(typist_.timedTap(z_, patience));
        if (windowManagerStopped) {
            kill(session_.windowManager(), SIGCONT);
        }
    }

    void flood(Results& r, std::vector<long>& rss) {
        rss.push_back(rssKb(program_));
        const QStringList names = {"leftHalf",   "rightHalf", "topHalf",
                                   "bottomHalf", "maximize",  "center"};
        QDBusConnection bus = QDBusConnection::sessionBus();
        for (int i = 0; i < 30000; ++i) {
            QDBusMessage run = QDBusMessage::createSignal("/local/ombrel", "local.ombrel", "run");
            run << names[i % names.size()];
            bus.send(run);
            if (i % 1500 == 0 && r.timedOut == 0) {
                QCoreApplication::processEvents();
                r.add(hotkeyThaw());
            }
        }
        for (int i = 0; i < 10 && r.timedOut == 0; ++i) {
            QCoreApplication::processEvents();
            r.add(hotkeyThaw());
        }
        std::this_thread::sleep_for(2s);
        rss.push_back(rssKb(program_));
    }

    // Mission Control (control+option+M) with the session bus stopped, then the probe.
    void missionControl(Results& r, pid_t bus) {
        kill(bus, SIGSTOP);
        typist_.chord({ctrl_, alt_}, m_);
        r.add(hotkeyThaw());
        kill(bus, SIGCONT);
    }

    // Samples from the instance's start on, while it shows its settings window.
    bool startWithRules(const std::string& binary, Results& r) {
        writeSettings(home_, settings(10000));
        program_ = xsession::XSession::start({binary});
        const auto end = Clock::now() + 6s;
        bool grabbed = false;
        while (Clock::now() < end && r.timedOut == 0) {
            const auto thaw = hotkeyThaw();
            // Until the probe is swallowed, its grab is not there yet: no sample.
            if (!typist_.arrived(k_) || !thaw) {
                grabbed = true;
                r.add(thaw);
            }
            std::this_thread::sleep_for(20ms);
        }
        return grabbed;
    }

    // A hand edit of the settings file: one rule switched off.
    void edit(Results& r) {
        Config config = settings(10000);
        config.bindings[5].enabled = false;
        writeSettings(home_, config);
        const auto end = Clock::now() + 4s;
        while (Clock::now() < end && r.timedOut == 0) {
            r.add(hotkeyThaw());
            std::this_thread::sleep_for(20ms);
        }
    }

  private:
    bool waitForGrab(std::chrono::seconds timeout) {
        const auto end = Clock::now() + timeout;
        while (Clock::now() < end) {
            const auto thaw = hotkeyThaw();
            if (thaw && !typist_.arrived(k_)) {
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    bool focusTerminal() {
        if (terminal_ == 0) {
            xterm_ = xsession::XSession::start(
                {"xterm", "-class", "OmbrelBenchTerm", "-geometry", "80x24+200+150"});
            xsession::XSession::waitUntil([&] { return (terminal_ = find()) != 0; }, 10s);
        }
        return terminal_ != 0 && session_.activate(terminal_);
    }
    std::vector<Window> clients() {
        Display* d = session_.display();
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        std::vector<Window> out;
        if (XGetWindowProperty(d, DefaultRootWindow(d), XInternAtom(d, "_NET_CLIENT_LIST", False),
                               0, 1024, False, XA_WINDOW, &type, &format, &count, &after,
                               &data) == Success &&
            data != nullptr) {
            const auto* windows = reinterpret_cast<const Window*>(data);
            out.assign(windows, windows + count);
            XFree(data);
        }
        return out;
    }
    Window find() {
        Display* d = session_.display();
        for (const Window w : clients()) {
            XClassHint hint{};
            if (XGetClassHint(d, w, &hint) != 0) {
                const bool terminal = std::string(hint.res_class) == "OmbrelBenchTerm";
                XFree(hint.res_name);
                XFree(hint.res_class);
                if (terminal) {
                    return w;
                }
            }
        }
        return 0;
    }

    xsession::XSession& session_;
    fs::path home_;
    xsession::Typist typist_;
    pid_t program_ = -1;
    pid_t xterm_ = -1;
    Window terminal_ = 0;
    std::vector<Window> watched_;
    unsigned ctrl_ = 0, alt_ = 0, k_ = 0, z_ = 0, left_ = 0, m_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    int rounds = 3;
    std::vector<std::string> binaries;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--rounds" && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
        } else {
            binaries.emplace_back(argv[i]);
        }
    }
    if (binaries.empty()) {
        std::fprintf(stderr, "usage: input_stalls_bench [--rounds N] <ombrel binary>...\n");
        return 2;
    }
    xsession::XSession session;
    if (!session.ready()) {
        std::fprintf(stderr, "no X session: %s\n", session.failure().c_str());
        return 1;
    }
    xsession::PrivateBus bus;  // its address goes into every instance's environment
    char pattern[] = "/tmp/ombrel-stalls-XXXXXX";
    const fs::path home = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    fs::create_directory(home / "runtime");
    fs::permissions(home / "runtime", fs::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
    QCoreApplication app(argc, argv);
    Bench bench(session, home);
    if (!bench.ready()) {
        std::fprintf(stderr, "set-up failed\n");
        return 1;
    }
    const std::vector<std::string> cases = {"idle hotkey",
                                            "16 placements, xterm",
                                            "... window manager stopped",
                                            "hotkey in a flood",
                                            "Mission Control, bus stopped",
                                            "hotkey while starting, 10,000 rules",
                                            "idle hotkey, 10,000 rules",
                                            "hotkey while editing, 10,000 rules"};
    std::map<std::string, std::map<std::string, Results>> results;
    std::map<std::string, std::vector<long>> rss;
    for (int round = 0; round < rounds; ++round) {
        for (const std::string& binary : binaries) {
            auto& r = results[binary];
            std::fprintf(stderr, "round %d: %s\n", round + 1, binary.c_str());
            if (bench.start(binary, 0)) {
                std::this_thread::sleep_for(2s);  // the start settles: idle means idle
                bench.idle(r[cases[0]]);
                bench.placements(r[cases[1]], false);
                std::this_thread::sleep_for(3s);  // the placements end
                bench.placements(r[cases[2]], true);
                std::this_thread::sleep_for(8s);  // the waits for the stopped manager end
                bench.flood(r[cases[3]], rss[binary]);
                bench.flood(r[cases[3]], rss[binary]);
                bench.missionControl(r[cases[4]], bus.pid());
            }
            bench.stop();
            if (bench.ready() && bench.startWithRules(binary, r[cases[5]])) {
                bench.idle(r[cases[6]]);
                bench.edit(r[cases[7]]);
            }
            bench.stop();
        }
    }
    for (const std::string& binary : binaries) {
        std::printf("%s\n", binary.c_str());
        for (const std::string& c : cases) {
            std::printf("  %-38s %s\n", c.c_str(), summary(results[binary][c]).c_str());
        }
        std::printf("  %-38s", "RSS before, after each flood (KB)");
        for (std::size_t i = 0; i < rss[binary].size(); ++i) {
            std::printf(" %ld%s", rss[binary][i], i % 2 == 0 ? " ->" : ";");
        }
        std::printf("\n");
    }
    std::error_code ignored;
    fs::remove_all(home, ignored);
    return 0;
}
