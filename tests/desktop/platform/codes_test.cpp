// The fixed translations between X and the engine (key codes, buttons, modifier masks), the
// ledger that tells posted events from everybody else's, and what a posted keystroke leaves; the
// connection and the main loop: a server that goes away leaves every part answering "nothing",
// and tasks posted from anywhere run on the main thread, in order and on time.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <thread>
#include <tuple>

#include "config/model.h"
#include "platform/linux/key_codes.h"
#include "platform/linux/qt_task_queue.h"
#include "platform/linux/x_event_poster.h"
#include "platform/linux/x_event_tap.h"
#include "platform/linux/x_window_system.h"

#include <X11/extensions/XTest.h>

#include "env.h"
#include "typist.h"

namespace ombrel::linux_platform {
namespace {

using namespace platform_test;

TEST(KeyCodes, KnownKeysTranslateAndEveryKeyRoundTrips) {
    // A sample of each part of the keyboard: letters, digits, editing keys, arrows, function
    // keys, keypad, modifiers and the keys only some keyboards have.
    const std::pair<unsigned, int64_t> cases[] = {
        {38, 0},   {40, 2},  {19, 29},  {36, 36},  {22, 51}, {119, 117}, {113, 123},
        {67, 122}, {90, 82}, {104, 76}, {133, 55}, {64, 58}, {94, 10},   {191, 105}};
    for (auto [x, mac] : cases) {
        EXPECT_EQ(virtualKeyFromX(x), mac) << x;
        EXPECT_EQ(xKeyFromVirtual(mac), x) << x;
    }
    int shared = 0;
    for (unsigned x = 8; x <= 255; ++x) {
        const auto code = virtualKeyFromX(x);
        ASSERT_TRUE(code.has_value());
        const auto back = xKeyFromVirtual(*code);
        ASSERT_TRUE(back.has_value()) << x;
        shared += *back != x ? 1 : 0;
        EXPECT_EQ(virtualKeyFromX(*back), code);
    }
    EXPECT_EQ(shared, 1);  // Help posts as Insert
    for (int64_t code = 0; code < 128; ++code) {
        if (keyName(code).rfind("Key ", 0) != 0) {
            const auto x = xKeyFromVirtual(code);
            EXPECT_TRUE(x && virtualKeyFromX(*x) == code) << keyName(code);
        }
    }
    // Keys with no Mac counterpart, such as XF86AudioPlay and Print, keep stable codes.
    for (unsigned x : {172U, 107U, 255U, 8U}) {
        EXPECT_EQ(virtualKeyFromX(x), unmappedKeyBase + x);
    }
    for (unsigned x : {0U, 7U, 256U}) {
        EXPECT_FALSE(virtualKeyFromX(x)) << x;
    }
    // No key carries 52, nor the fallback number of a key that has a Mac code.
    for (int64_t code : {int64_t{-1}, int64_t{52}, unmappedKeyBase + 38, unmappedKeyBase + 300,
                         int64_t{70000}, unmappedKeyBase - 1}) {
        EXPECT_FALSE(xKeyFromVirtual(code)) << code;
    }
}

TEST(ButtonsAndModifiers, EngineAndXNumbersCorrespond) {
    const std::pair<int64_t, unsigned> pairs[] = {{0, 1}, {1, 3},  {2, 2},  {3, 8},
                                                  {4, 9}, {5, 10}, {10, 15}};
    for (auto [engine, x] : pairs) {
        EXPECT_EQ(xButtonFromEngine(engine), x);
        EXPECT_EQ(engineButtonFromX(x), engine);
    }
    for (unsigned wheel : {4U, 5U, 6U, 7U, 0U, 256U}) {
        EXPECT_FALSE(engineButtonFromX(wheel)) << wheel;
    }
    EXPECT_FALSE(xButtonFromEngine(-1) || xButtonFromEngine(1000));
    // Only the four modifiers count; lock, num lock, AltGr and the rest are dropped.
    EXPECT_EQ(modsFromX(ShiftMask | LockMask | Mod2Mask | Mod3Mask | Mod5Mask), Mods(Mods::shift));
    EXPECT_EQ(modsFromX(Mod4Mask | Mod1Mask | ControlMask), Mods(7));
    EXPECT_EQ(xStateFromMods(Mods(Mods::command | Mods::shift)), unsigned(Mod4Mask | ShiftMask));
    EXPECT_EQ(xStateFromMods(Mods(0)), 0U);
    EXPECT_FALSE(xStateFromMods(Mods(16)) || xStateFromMods(Mods(-1)));
}

// The ledger of posted events: only the oldest entry of its kind matches, and an entry is given up
// once an event made more than a second after it arrives.
TEST(PostLedger, MatchesTheOldestEntryOfItsKindUntilItIsLost) {
    using K = PostLedger::Kind;
    const PostLedger::Entry ctrlUp{K::key, 37, false}, a{K::key, 38, true}, late{K::key, 39, true};
    const PostLedger::Entry click{K::button, 2, true};
    PostLedger ledger;
    for (const auto& e : {ctrlUp, click, a}) {
        ledger.record(e, 10'000);
    }
    ledger.record(late, 10'500);
    // Arrived, made at, own: not the oldest key (somebody else's), buttons queue apart from keys,
    // used up, made long after the late one (which was lost), gone.
    const std::tuple<PostLedger::Entry, int64_t, bool> steps[] = {
        {a, 10'001, false}, {click, 10'001, true},   {ctrlUp, 10'001, true}, {a, 10'002, true},
        {a, 10'002, false}, {ctrlUp, 11'501, false}, {late, 11'400, false}};
    for (const auto& [arrived, at, own] : steps) {
        EXPECT_EQ(ledger.consume(arrived, at).has_value(), own) << arrived.code << " at " << at;
    }
}

// Only the XTEST devices post the program's events: a click of the server's own mouse that
// arrives while the program's is on its way is somebody else's, and the program's is its own.
TEST(PostLedger, OnlyXTestEventsAreTheProgramsOwnAndLeaveNoKeyDown) {
    XConnection x;
    X11EventPoster poster(x);
    X11EventTap tap(x, poster);
    std::vector<bool> own;  // of each press the tap reports
    ASSERT_TRUE(tap.install([&](const InputEvent& e) {
        if (e.kind == InputKind::buttonDown) {
            own.push_back(e.own);
        }
        return false;
    }));
    XSync(x.display(), False);
    Display* d = session().display();
    XDevice* mouse = XOpenDevice(d, xsession::deviceId(d, "Xvfb mouse"));
    ASSERT_NE(mouse, nullptr);
    XTestFakeDeviceButtonEvent(d, mouse, 2, True, nullptr, 0, CurrentTime);
    XSync(d, False);
    ASSERT_TRUE(poster.postClick(2, {NAN, NAN}));
    XTestFakeDeviceButtonEvent(d, mouse, 2, False, nullptr, 0, CurrentTime);
    XSync(d, False);
    XCloseDevice(d, mouse);
    EXPECT_TRUE(pumpUntil([&] { return own.size() == 2; }));
    EXPECT_EQ(own, (std::vector<bool>{false, true}));
    // The modifiers pressed for a keystroke go up with it: a key left down would freeze the
    // keyboard.
    ASSERT_TRUE(poster.postKeystroke(0, Mods(Mods::command | Mods::shift | Mods::control)));
    XSync(x.display(), False);  // the server has handled every posted event
    EXPECT_TRUE(platform_test::nothingHeld());
}

TEST(XConnectionLoss, EveryPartAnswersNothingOnceTheServerIsGone) {
    auto server = std::make_unique<xsession::XSession>();
    setenv("DISPLAY", session().displayName().c_str(), 1);  // the other tests keep the shared one
    ASSERT_TRUE(server->ready()) << server->failure();

    XConnection x(server->displayName());
    ASSERT_TRUE(x.connected());
    int told = 0;
    x.addLostListener([&told] { ++told; });
    X11EventPoster poster(x);
    X11EventTap tap(x, poster);
    X11WindowSystem windows(x);
    ASSERT_TRUE(tap.install([](const InputEvent&) { return true; }));
    tap.setGrabs({{KeyCombo{0, Mods(Mods::command)}}, {2}, true, true, false, {}});
    EXPECT_FALSE(windows.screens().empty());

    server.reset();
    EXPECT_TRUE(pumpUntil([&] { return !x.connected() && told == 1; }));
    EXPECT_FALSE(tap.inputAvailable());
    EXPECT_NE(tap.unavailableReason().find("no connection"), std::string::npos);
    EXPECT_FALSE(x.reconnect());
    EXPECT_TRUE(tap.setGrabs({}).empty());
    EXPECT_FALSE(windows.focusedWindow() || windows.frame(WindowRef{1}));
    EXPECT_TRUE(windows.screens().empty());
    windows.writeSize(WindowRef{1}, {10, 10});
    EXPECT_FALSE(poster.postKeystroke(0, Mods()) || poster.postMediaKey(MediaKey::mute) ||
                 poster.postClick(2, {1, 1}));
    EXPECT_FALSE(poster.pointerLocation());
    x.dispatchPending();
    EXPECT_EQ(told, 1) << "a loss is told once";
}

TEST(QtTaskQueue, TasksFromAnyThreadRunOnTheMainThreadInOrderAndOnTime) {
    QtTaskQueue queue;
    const double start = queue.uptime();
    std::vector<int> order;
    std::vector<double> delays;
    const auto main = std::this_thread::get_id();
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) {
            queue.post([&, i] { order.push_back(std::this_thread::get_id() == main ? i : -1); });
        }
    });
    worker.join();
    // Each delayed task records how long after the start it ran, marked by the delay it asked.
    for (double delay : {0.05, 0.01, -1.0}) {
        queue.postAfter(delay, [&, delay] {
            delays.push_back(queue.uptime() - start >= delay - 1e-3 ? delay : -9);
        });
    }
    int ticks = 0;
    queue.repeatEvery(0.01, [&] { ++ticks; });
    ASSERT_TRUE(pumpUntil([&] { return order.size() == 50 && delays.size() == 3 && ticks >= 3; }));
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(order[std::size_t(i)], i);
    }
    EXPECT_EQ(delays, (std::vector<double>{-1.0, 0.01, 0.05}));
}

}  // namespace
}  // namespace ombrel::linux_platform
