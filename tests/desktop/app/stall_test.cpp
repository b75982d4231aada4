// The keyboard never waits for the program's other work: while it places a window the window
// manager does not answer, takes a flood of run requests, waits for a stopped bus, or starts and
// follows a hand edit with 10,000 rules, a key typed after a bound one arrives within a second.
// The thaw times are printed, not asserted: input_stalls_bench measures them.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "config/json_codec.h"
#include "config/model.h"

// Last: Xlib macros collide with Qt and GoogleTest names.
#include <X11/Xutil.h>

#include "shell_env.h"
#include "typist.h"

namespace ombrel::shell_test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr auto patience = 1s;
constexpr Mods ctrlAlt(Mods::control | Mods::option);

// Keys typed about every 20 ms, as a quick typist would.
void typing() {
    pumpUntil([] { return false; }, 20ms);
}
std::function<bool()> forAbout(std::chrono::milliseconds time) {
    return [end = Clock::now() + time] { return Clock::now() < end; };
}

// Control+option with K centres the window (the probe), with Left places it, with M asks for
// Mission Control; the extra rules are shortcuts scoped to other applications.
void writeSettings(int extra, int disabled = -1) {
    Config config;
    const std::pair<int64_t, Action> bound[] = {{40, Action::window(WindowAction::center)},
                                                {123, Action::window(WindowAction::leftHalf)},
                                                {46, Action::system(SystemAction::missionControl)}};
    for (const auto& [key, action] : bound) {
        config.bindings.push_back(
            Rule::make(Trigger::hotkey({key, ctrlAlt}), action, std::nullopt, true));
    }
    for (int i = 0; i < extra; ++i) {
        config.bindings.push_back(Rule::make(Trigger::hotkey({i % 50, Mods(1 + (i / 50) % 15)}),
                                             Action::shell("true"),
                                             "app-" + std::to_string(i % 200), i != disabled));
    }
    const auto file = configHome() / "Ombrel" / "config.json";
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file.string() + ".new") << *encodeConfig(config);
    std::filesystem::rename(file.string() + ".new", file);
}

// A process paused for the object's lifetime, as a hung window manager or bus daemon would be;
// it goes on whatever the test's outcome.
class Paused {
  public:
    explicit Paused(pid_t pid) : pid_(pid) {
        if (pid_ > 0) {
            kill(pid_, SIGSTOP);
        }
    }
    ~Paused() {
        if (pid_ > 0) {
            kill(pid_, SIGCONT);
        }
    }
    Paused(const Paused&) = delete;
    Paused& operator=(const Paused&) = delete;

  private:
    pid_t pid_;
};

class StallTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(session().ready()) << session().failure();
        ASSERT_TRUE(typist_.ready());
        // A window of one size only, as a terminal of whole cells refuses any other.
        window_ =
            session().createWindow("stall", "OmbrelStall", 300, 200, 400, 300, 0, [](Window w) {
                XSizeHints hints{};
                hints.flags = PMinSize | PMaxSize;
                hints.min_width = hints.max_width = 400;
                hints.min_height = hints.max_height = 300;
                XSetWMNormalHints(session().display(), w, &hints);
            });
        ASSERT_NE(window_, 0U);
        typist_.watch(window_);
        ctrl_ = typist_.code("Control_L");
        alt_ = typist_.code("Alt_L");
    }
    void TearDown() override {
        program_.reset();
        XDestroyWindow(session().display(), window_);
        XSync(session().display(), False);
    }

    void launch() {
        program_ = std::make_unique<Child>(std::vector<std::string>{OMBREL_BINARY});
        ASSERT_TRUE(program_->started());
    }
    // Starts the program on the settings written and waits until the probe is swallowed.
    void start() {
        launch();
        ASSERT_TRUE(pumpUntil([&] { return thaw() && swallowed_; }, 20s))
            << "the probe's shortcut never took effect";
    }
    // The probe, then a typed key: how long the key took; swallowed_ tells whether the probe
    // was.
    std::optional<double> thaw() {
        typist_.forget();
        typist_.chord({ctrl_, alt_}, typist_.code("k"));
        const auto ms = typist_.timedTap(typist_.code("z"), patience, pump);
        swallowed_ = !typist_.arrived(typist_.code("k"));
        return ms;
    }
    // Samples while more() holds (at least once); every key must arrive. The slowest is printed.
    void expectThaws(const std::string& what, const std::function<bool()>& more,
                     const std::function<void()>& between) {
        std::optional<double> slowest = 0.0;
        int samples = 0;
        do {
            between();
            const auto ms = thaw();
            slowest = ms ? std::optional(std::max(*slowest, *ms)) : std::nullopt;
            ++samples;
        } while (slowest && more());
        std::printf("[   thaw   ] %s: slowest of %d, %s ms\n", what.c_str(), samples,
                    xsession::millis(slowest, patience).c_str());
        EXPECT_TRUE(slowest) << what << ": a typed key did not arrive";
    }
    void press(unsigned keycode, int times) {
        typist_.key(ctrl_, true);
        typist_.key(alt_, true);
        for (int i = 0; i < times; ++i) {
            typist_.key(keycode, true);
            typist_.key(keycode, false);
            std::this_thread::sleep_for(20ms);
        }
        typist_.key(alt_, false);
        typist_.key(ctrl_, false);
    }

    xsession::Typist typist_;
    std::unique_ptr<Child> program_;
    bool swallowed_ = false;
    Window window_ = 0;
    unsigned ctrl_ = 0;
    unsigned alt_ = 0;
};

TEST_F(StallTest, KeysArriveWhileTheProgramWaitsForOthers) {
    writeSettings(0);
    start();
    const auto runRequests = [](int count) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        const char* const names[] = {"leftHalf", "rightHalf", "maximize", "center"};
        for (int i = 0; i < count; ++i) {
            QDBusMessage run = QDBusMessage::createSignal("/local/ombrel", "local.ombrel", "run");
            run << QString::fromLatin1(names[i % 4]);
            bus.send(run);
        }
        bus.call(QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "GetId"));
    };
    struct Case {
        const char* name;
        pid_t paused;                   // a process stopped meanwhile
        std::function<void()> load;     // before the first sample
        std::function<void()> between;  // before every sample
        std::chrono::milliseconds during;
    };
    const Case cases[] = {
        // Sixteen placements 20 ms apart of a window that cannot take the size.
        {"16 placements", 0, [&] { press(typist_.code("Left"), 16); }, typing, 300ms},
        {"16 placements, window manager stopped", session().windowManager(),
         [&] { press(typist_.code("Left"), 16); }, typing, 300ms},
        {"a flood of run requests, 500 before each key", 0, [] {}, [&] { runRequests(500); }, 1s},
        {"Mission Control three times, bus stopped", busDaemon(),
         [&] {
             for (int i = 0; i < 3; ++i) {
                 typist_.chord({ctrl_, alt_}, typist_.code("m"));
             }
         },
         typing, 300ms},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(session().activate(window_));
        {
            const Paused paused(c.paused);
            c.load();
            expectThaws(c.name, forAbout(c.during), c.between);
        }
        // The window manager and the bus catch up before the next case.
        pumpUntil([] { return false; }, 100ms);
    }
}

// From the launch of the program until a second after its shortcuts took effect, while it
// places its grabs and builds its lists and its settings window for 10,000 rules; and while it
// takes on a hand edit of the file.
TEST_F(StallTest, KeysArriveWhileTenThousandRulesAreTakenOn) {
    writeSettings(10000);
    launch();
    const auto launched = Clock::now();
    std::optional<Clock::time_point> grabbed;
    const auto started = [&] {
        if (!grabbed && swallowed_) {
            grabbed = Clock::now();
        }
        return grabbed ? Clock::now() < *grabbed + 1s : Clock::now() < launched + 20s;
    };
    expectThaws("starting with 10,000 rules", started, typing);
    ASSERT_TRUE(grabbed) << "the probe's shortcut never took effect";
    std::printf(
        "[   thaw   ] the probe took effect %lld ms after the launch\n",
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(*grabbed - launched).count()));
    writeSettings(10000, 5);
    expectThaws("a hand edit with 10,000 rules", forAbout(1500ms), typing);
}

}  // namespace
}  // namespace ombrel::shell_test
