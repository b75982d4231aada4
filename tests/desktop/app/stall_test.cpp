// The keyboard never waits for the program's other work: while it starts and takes on a hand edit
// with 10,000 rules, places a window the window manager does not answer, takes a flood of run
// requests or waits for a stopped bus, a key typed after a bound one arrives within a second.
// How long the keys take is measured by input_stalls_bench, not here.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <csignal>
#include <functional>
#include <string>
#include <vector>

#include "config/model.h"

// Last: Xlib macros collide with Qt and GoogleTest names.
#include <X11/Xutil.h>

#include "shell_env.h"
#include "typist.h"

namespace ombrel::shell_test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Keys typed about every 20 ms, as a quick typist would.
void typing() {
    pumpUntil([] { return false; }, 20ms);
}

// Control+option with K centres the window (the probe), with Left places it, with M asks for
// Mission Control; the extra rules are shortcuts scoped to other applications.
void writeRules(int extra, int disabled = -1) {
    constexpr Mods ctrlAlt(Mods::control | Mods::option);
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
    shell_test::writeSettings(config);
}

// Run requests as fast as one client can send them, then a call that returns once the bus has
// taken them all.
void runRequests(int count) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const char* const names[] = {"leftHalf", "rightHalf", "maximize", "center"};
    for (int i = 0; i < count; ++i) {
        QDBusMessage run = QDBusMessage::createSignal("/local/ombrel", "local.ombrel", "run");
        run << QString::fromLatin1(names[i % 4]);
        bus.send(run);
    }
    bus.call(QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                            "org.freedesktop.DBus", "GetId"));
}

class StallTest : public ::testing::Test {
  protected:
    void SetUp() override {
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
        XDestroyWindow(session().display(), window_);
        XSync(session().display(), False);
    }

    // Control+option with the key, as often as asked, while the window waits for the answers.
    void chords(const char* key, int times) {
        for (int i = 0; i < times; ++i) {
            typist_.chord({ctrl_, alt_}, typist_.code(key));
            typing();
        }
    }
    // Samples while more() holds (at least once), each the probe, then a typed key that must
    // arrive; swallowed_ tells whether the program took the probe.
    void expectThaws(const std::string& what, const std::function<bool()>& more,
                     const std::function<void()>& between = typing) {
        bool arrived = true;
        do {
            between();
            typist_.forget();
            typist_.chord({ctrl_, alt_}, typist_.code("k"));
            arrived = typist_.timedTap(typist_.code("z"), 1s, pump).has_value();
            swallowed_ = !typist_.arrived(typist_.code("k"));
        } while (arrived && more());
        EXPECT_TRUE(arrived) << what << ": a typed key did not arrive";
    }

    xsession::Typist typist_;
    unsigned ctrl_ = 0;
    unsigned alt_ = 0;
    bool swallowed_ = false;
    Window window_ = 0;
};

TEST_F(StallTest, KeysArriveWhateverTheProgramWaitsFor) {
    writeRules(10000);
    const auto launched = Clock::now();
    const Program program({OMBREL_BINARY});
    // From the launch until a second after the probe's shortcut took effect, while the program
    // places its grabs and builds its lists and its settings window.
    std::optional<Clock::time_point> grabbed;
    expectThaws("starting with 10,000 rules", [&] {
        if (!grabbed && swallowed_) {
            grabbed = Clock::now();
        }
        return grabbed ? Clock::now() < *grabbed + 1s : Clock::now() < launched + 20s;
    });
    ASSERT_TRUE(grabbed) << "the probe's shortcut never took effect";

    const struct {
        const char* name;
        pid_t paused;                   // a process stopped meanwhile
        std::function<void()> load;     // before the first sample
        std::function<void()> between;  // before every sample
        std::chrono::milliseconds during;
    } cases[] = {
        // First, while no placement is still waiting: actions queued behind others are not
        // performed on the thread that asked, whichever it is.
        {"Mission Control three times, bus stopped", bus().pid(), [&] { chords("m", 3); }, typing,
         300ms},
        // Sixteen placements 20 ms apart of a window that cannot take the size.
        {"16 placements", 0, [&] { chords("Left", 16); }, typing, 300ms},
        {"16 placements, window manager stopped", session().windowManager(),
         [&] { chords("Left", 16); }, typing, 300ms},
        {"a flood of run requests, 500 before each key", 0, [] {}, [] { runRequests(500); }, 1s},
        {"a hand edit with 10,000 rules", 0, [] { writeRules(10000, 5); }, typing, 1500ms},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(session().activate(window_));
        // Paused as a hung window manager or bus daemon would be; nothing below ends the test
        // early.
        if (c.paused > 0) {
            kill(c.paused, SIGSTOP);
        }
        c.load();
        expectThaws(
            c.name, [end = Clock::now() + c.during] { return Clock::now() < end; }, c.between);
        if (c.paused > 0) {
            kill(c.paused, SIGCONT);
        }
        // The window manager and the bus catch up before the next case.
        pumpUntil([] { return false; }, 100ms);
    }
}

}  // namespace
}  // namespace ombrel::shell_test
