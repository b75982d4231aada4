// The keyboard never waits for the program's other work: while it places windows the window
// manager does not answer, takes a flood of run requests, waits for a stopped bus, or starts and
// follows a hand edit with 10,000 rules, a key typed after a bound one arrives within a second.
// The thaw times are printed, not asserted: input_stalls_bench measures them.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
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
constexpr auto patience = 1s;
constexpr Mods ctrlAlt(Mods::control | Mods::option);

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

    void start() {
        program_ = std::make_unique<Child>(std::vector<std::string>{OMBREL_BINARY});
        ASSERT_TRUE(program_->started());
    }
    // The probe, then a typed key: how long the key took, and whether the probe was swallowed.
    std::optional<double> thaw(bool* swallowed = nullptr) {
        typist_.forget();
        typist_.chord({ctrl_, alt_}, typist_.code("k"));
        const auto ms = typist_.timedTap(typist_.code("z"), patience, pump);
        if (swallowed != nullptr) {
            *swallowed = !typist_.arrived(typist_.code("k"));
        }
        return ms;
    }
    bool grabbed() {
        return pumpUntil(
            [&] {
                bool swallowed = false;
                return thaw(&swallowed) && swallowed;
            },
            20s);
    }
    // Every sample arrived; the slowest one is printed.
    void expectThaws(const char* what, const std::function<std::optional<double>()>& sample,
                     int count) {
        std::optional<double> slowest = 0.0;
        for (int i = 0; i < count && slowest; ++i) {
            const auto ms = sample();
            slowest = ms ? std::optional(std::max(*slowest, *ms)) : std::nullopt;
        }
        std::printf("[   thaw   ] %s: slowest %s ms\n", what,
                    xsession::millis(slowest, patience).c_str());
        EXPECT_TRUE(slowest) << what << ": a key did not arrive";
    }
    void focus() { ASSERT_TRUE(session().activate(window_)); }

    xsession::Typist typist_;
    std::unique_ptr<Child> program_;
    Window window_ = 0;
    unsigned ctrl_ = 0;
    unsigned alt_ = 0;
};

// Sixteen placements 20 ms apart of a window that cannot take the size, with the window manager
// answering and stopped.
TEST_F(StallTest, RapidPlacementsOfAFixedSizeWindow) {
    writeSettings(0);
    start();
    ASSERT_TRUE(grabbed());
    const unsigned left = typist_.code("Left");
    for (const bool stopped : {false, true}) {
        focus();
        if (stopped) {
            kill(session().windowManager(), SIGSTOP);
        }
        typist_.key(ctrl_, true);
        typist_.key(alt_, true);
        for (int i = 0; i < 16; ++i) {
            typist_.key(left, true);
            typist_.key(left, false);
            std::this_thread::sleep_for(20ms);
        }
        typist_.key(alt_, false);
        typist_.key(ctrl_, false);
        expectThaws(
            stopped ? "16 placements, window manager stopped" : "16 placements",
            [&] { return thaw(); }, 3);
        if (stopped) {
            kill(session().windowManager(), SIGCONT);
        }
    }
}

TEST_F(StallTest, FloodOfRunRequests) {
    writeSettings(0);
    start();
    ASSERT_TRUE(grabbed());
    focus();
    QDBusConnection bus = QDBusConnection::sessionBus();
    const char* const names[] = {"leftHalf", "rightHalf", "maximize", "center"};
    int sent = 0;
    expectThaws(
        "5,000 run requests",
        [&] {
            for (int i = 0; i < 500; ++i, ++sent) {
                QDBusMessage run =
                    QDBusMessage::createSignal("/local/ombrel", "local.ombrel", "run");
                run << QString::fromLatin1(names[sent % 4]);
                bus.send(run);
            }
            pump();
            return thaw();
        },
        10);
}

TEST_F(StallTest, MissionControlWithTheBusStopped) {
    writeSettings(0);
    start();
    ASSERT_TRUE(grabbed());
    focus();
    kill(busDaemon(), SIGSTOP);
    for (int i = 0; i < 3; ++i) {
        typist_.chord({ctrl_, alt_}, typist_.code("m"));
    }
    expectThaws(
        "Mission Control three times, bus stopped", [&] { return thaw(); }, 3);
    kill(busDaemon(), SIGCONT);
}

// While the settings window is built for 10,000 rules, and while a hand edit of the file is
// taken on.
TEST_F(StallTest, StartAndEditWithTenThousandRules) {
    writeSettings(10000);
    start();
    ASSERT_TRUE(grabbed());
    // About two seconds of typing each.
    const auto typing = [&] {
        pumpUntil([] { return false; }, 40ms);
        return thaw();
    };
    expectThaws("starting with 10,000 rules", typing, 40);
    writeSettings(10000, 5);
    expectThaws("a hand edit with 10,000 rules", typing, 40);
}

}  // namespace
}  // namespace ombrel::shell_test
