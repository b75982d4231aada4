// The event tap and the poster against a real X server: what is swallowed, what reaches the
// focused window untouched, and what the program posts itself.
#include <gtest/gtest.h>

#include "platform/linux/x_event_poster.h"
#include "platform/linux/x_event_tap.h"

#include <X11/XF86keysym.h>
#include <X11/XKBlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "desktop_env.h"
#include "platform/linux/key_codes.h"
#include "platform/linux/x_properties.h"
#include "user_input.h"

namespace ombrel::linux_platform {
namespace {

using platform_test::pumpUntil;
using platform_test::session;
using platform_test::UserInput;
using namespace std::chrono_literals;

// X key codes under the evdev rules.
constexpr unsigned keyA = 38;
constexpr unsigned keyZ = 52;
constexpr unsigned keyLeft = 113;
constexpr unsigned keyK = 45;
constexpr unsigned control = 37;
constexpr unsigned alt = 64;
constexpr unsigned super = 133;
constexpr unsigned shift = 50;
constexpr unsigned capsLock = 66;
constexpr unsigned numLock = 77;

Mods modsFromFlags(uint64_t flags) {
    Mods m;
    if (flags & eventflags::command) {
        m.insert(Mods::command);
    }
    if (flags & eventflags::option) {
        m.insert(Mods::option);
    }
    if (flags & eventflags::control) {
        m.insert(Mods::control);
    }
    if (flags & eventflags::shift) {
        m.insert(Mods::shift);
    }
    return m;
}

// Stands in for the engine: a few bindings, optionally scoped to a WM_CLASS class, matched the
// way the engine matches them.
struct Engine {
    struct Binding {
        KeyCombo combo;
        std::optional<std::string> scope;
    };
    std::vector<Binding> keys;
    std::vector<int64_t> buttons;
    std::function<std::optional<std::string>()> frontmost;
    std::vector<InputEvent> seen;
    int fired = 0;
    bool throwOnKey = false;

    [[nodiscard]] bool bound(const KeyCombo& combo) const {
        const auto front = frontmost();
        for (const auto& b : keys) {
            if (b.combo == combo && (!b.scope || b.scope == front)) {
                return true;
            }
        }
        return false;
    }

    bool handle(const InputEvent& e) {
        seen.push_back(e);
        switch (e.type) {
            case EventType::keyDown: {
                if (throwOnKey) {
                    throw std::runtime_error("engine failure");
                }
                if (e.sourceUserData == syntheticEventMarker) {
                    return false;
                }
                const bool hit = bound({e.keyCode, modsFromFlags(e.flags)});
                if (hit && !e.autorepeat) {
                    ++fired;
                }
                return hit;
            }
            case EventType::otherMouseDown:
            case EventType::otherMouseUp:
                if (e.sourceUserData == syntheticEventMarker &&
                    e.type == EventType::otherMouseDown) {
                    return false;
                }
                if (std::find(buttons.begin(), buttons.end(), e.button) != buttons.end()) {
                    fired += e.type == EventType::otherMouseDown ? 1 : 0;
                    return true;
                }
                return false;
            default:
                return false;
        }
    }

    GrabRequest request() const {
        GrabRequest r;
        for (const auto& b : keys) {
            r.hotkeys.push_back(b.combo);
        }
        r.buttons = buttons;
        return r;
    }
};

// What the test window received.
struct Received {
    unsigned keycode = 0;
    unsigned state = 0;
    int type = 0;
};

class InputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(session().ready()) << session().failure();
        d_ = session().display();
        user_ = std::make_unique<UserInput>(d_);
        ASSERT_TRUE(user_->ready());
        window_ = session().createWindow(
            "ombreltest", "OmbrelTest", 200, 150, 400, 300,
            KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask);
        ASSERT_NE(window_, 0U);
        ASSERT_TRUE(pumpUntil([&] { return session().activeWindow() == window_; }));
        user_->focus(window_);
        user_->movePointer(400, 300);

        x_ = std::make_unique<XConnection>();
        tap_ = std::make_unique<X11EventTap>(*x_);
        poster_ = std::make_unique<X11EventPoster>(*x_);
        engine_.frontmost = [this] { return readClass(x_->display(), session().activeWindow()); };
        ASSERT_TRUE(tap_->trusted());
        ASSERT_TRUE(tap_->install([this](const InputEvent& e) { return engine_.handle(e); }));
    }
    void TearDown() override {
        tap_.reset();
        poster_.reset();
        x_.reset();
        user_.reset();
        if (window_ != 0) {
            XDestroyWindow(d_, window_);
        }
        XSync(d_, False);
    }

    void bind(std::vector<Engine::Binding> keys, std::vector<int64_t> buttons = {}) {
        engine_.keys = std::move(keys);
        engine_.buttons = std::move(buttons);
        tap_->setGrabs(engine_.request());
        XSync(x_->display(), False);
    }

    void drain() {
        XEvent e;
        while (XCheckWindowEvent(
            d_, window_, KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask, &e)) {
            received_.push_back(
                {e.type == KeyPress || e.type == KeyRelease ? e.xkey.keycode : e.xbutton.button,
                 e.type == KeyPress || e.type == KeyRelease ? e.xkey.state : e.xbutton.state,
                 e.type});
        }
    }
    // Waits until the window has received the event; everything sent before it has then been
    // decided on.
    bool waitFor(int type, unsigned code) {
        return pumpUntil([&] {
            drain();
            return std::any_of(received_.begin(), received_.end(), [&](const Received& r) {
                return r.type == type && r.keycode == code;
            });
        });
    }
    // Sends an unbound key and waits for it, so the window has seen all that came before.
    bool settle() {
        user_->tap(keyZ);
        const bool ok = waitFor(KeyRelease, keyZ);
        return ok;
    }
    [[nodiscard]] int count(int type, unsigned code) const {
        return static_cast<int>(
            std::count_if(received_.begin(), received_.end(),
                          [&](const Received& r) { return r.type == type && r.keycode == code; }));
    }
    [[nodiscard]] std::optional<Received> first(int type, unsigned code) const {
        for (const auto& r : received_) {
            if (r.type == type && r.keycode == code) {
                return r;
            }
        }
        return std::nullopt;
    }
    void reset() {
        received_.clear();
        engine_.seen.clear();
        engine_.fired = 0;
    }

    Display* d_ = nullptr;
    std::unique_ptr<UserInput> user_;
    Window window_ = 0;
    std::unique_ptr<XConnection> x_;
    std::unique_ptr<X11EventTap> tap_;
    std::unique_ptr<X11EventPoster> poster_;
    Engine engine_;
    std::vector<Received> received_;
};

constexpr KeyCombo controlOptionLeft{123, Mods(Mods::control | Mods::option)};

TEST_F(InputTest, BoundCombinationsAreSwallowedAndTheRestReachesTheWindow) {
    struct Case {
        const char* name;
        std::vector<Engine::Binding> bindings;
        unsigned key;
        std::vector<unsigned> modifiers;
        bool swallowed;
    };
    const std::vector<Case> cases = {
        {"bound for every application", {{controlOptionLeft, {}}}, keyLeft, {control, alt}, true},
        {"bound for the focused application",
         {{controlOptionLeft, "OmbrelTest"}},
         keyLeft,
         {control, alt},
         true},
        {"bound only for another application",
         {{controlOptionLeft, "OtherApp"}},
         keyLeft,
         {control, alt},
         false},
        {"other modifiers than bound", {{controlOptionLeft, {}}}, keyLeft, {control}, false},
        {"unbound key", {{controlOptionLeft, {}}}, keyA, {}, false},
        {"command and shift",
         {{KeyCombo{40, Mods(Mods::command | Mods::shift)}, {}}},
         keyK,
         {super, shift},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bind(c.bindings);
        reset();
        for (unsigned m : c.modifiers) {
            user_->key(m, true);
        }
        user_->key(c.key, true);
        user_->key(c.key, false);
        for (auto it = c.modifiers.rbegin(); it != c.modifiers.rend(); ++it) {
            user_->key(*it, false);
        }
        user_->flush();
        ASSERT_TRUE(settle());
        EXPECT_EQ(count(KeyPress, c.key), c.swallowed ? 0 : 1);
        EXPECT_EQ(engine_.fired, c.swallowed ? 1 : 0);
        if (!c.swallowed) {
            // Replayed untouched: the modifiers the user held are in the state.
            const auto press = first(KeyPress, c.key);
            ASSERT_TRUE(press.has_value());
            unsigned expected = 0;
            for (unsigned m : c.modifiers) {
                expected |= m == control ? ControlMask
                            : m == alt   ? Mod1Mask
                            : m == shift ? ShiftMask
                                         : Mod4Mask;
            }
            EXPECT_EQ(press->state & (ControlMask | Mod1Mask | ShiftMask | Mod4Mask), expected);
        }
        // The engine saw the key with the right code and flags.
        const bool sawKey = std::any_of(engine_.seen.begin(), engine_.seen.end(), [&](auto& e) {
            return e.type == EventType::keyDown && e.keyCode == *virtualKeyFromX(c.key) &&
                   e.sourceUserData == 0;
        });
        EXPECT_TRUE(sawKey);
    }
}

TEST_F(InputTest, CapsLockAndNumLockDoNotChangeTheMatch) {
    bind({{controlOptionLeft, {}}});
    for (unsigned lock : {capsLock, numLock}) {
        SCOPED_TRACE(lock);
        reset();
        user_->tap(lock);  // lock on
        user_->tap(keyLeft, {control, alt});
        user_->tap(lock);  // lock off
        ASSERT_TRUE(settle());
        EXPECT_EQ(count(KeyPress, keyLeft), 0);
        EXPECT_EQ(engine_.fired, 1);
    }
}

TEST_F(InputTest, HeldBoundKeyFiresOnceAndItsRepeatsAreSwallowed) {
    bind({{controlOptionLeft, {}}});
    // Quick repeats for the stand-in keyboard so the test stays short.
    XkbSetAutoRepeatRate(d_, XkbUseCoreKbd, 60, 20);
    XkbChangeEnabledControls(d_, XkbUseCoreKbd, XkbRepeatKeysMask, XkbRepeatKeysMask);
    reset();
    user_->key(control, true);
    user_->key(alt, true);
    user_->key(keyLeft, true);
    user_->flush();
    const bool repeated = pumpUntil(
        [&] {
            return std::count_if(engine_.seen.begin(), engine_.seen.end(), [](auto& e) {
                       return e.type == EventType::keyDown && e.autorepeat;
                   }) >= 3;
        },
        3s);
    user_->key(keyLeft, false);
    user_->key(alt, false);
    user_->key(control, false);
    user_->flush();
    ASSERT_TRUE(settle());
    if (!repeated) {
        GTEST_SKIP() << "the server does not repeat keys of this device";
    }
    EXPECT_EQ(engine_.fired, 1);
    EXPECT_EQ(count(KeyPress, keyLeft), 0);
}

TEST_F(InputTest, PostedKeystrokeOfABoundCombinationReachesTheWindowMarked) {
    bind({{controlOptionLeft, {}}});
    reset();
    const uint64_t flags = eventflags::control | eventflags::option;
    ASSERT_TRUE(poster_->postKey(123, true, flags, syntheticEventMarker));
    ASSERT_TRUE(poster_->postKey(123, false, flags, syntheticEventMarker));
    const bool arrived = waitFor(KeyRelease, keyLeft);
    ASSERT_TRUE(arrived);
    EXPECT_EQ(engine_.fired, 0);
    const auto press = first(KeyPress, keyLeft);
    ASSERT_TRUE(press.has_value());
    EXPECT_EQ(press->state & (ControlMask | Mod1Mask | ShiftMask | Mod4Mask),
              unsigned(ControlMask | Mod1Mask));
    const bool marked = std::any_of(engine_.seen.begin(), engine_.seen.end(), [](auto& e) {
        return e.type == EventType::keyDown && e.keyCode == 123 &&
               e.sourceUserData == syntheticEventMarker;
    });
    EXPECT_TRUE(marked);
}

// The server's own keyboard device, attached to the core keyboard like a physical one.
XDevice* serverKeyboard(Display* d) {
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(d, XIAllDevices, &count);
    XDevice* found = nullptr;
    for (int i = 0; i < count && found == nullptr; ++i) {
        if (std::string(devices[i].name) == "Xvfb keyboard") {
            found = XOpenDevice(d, static_cast<XID>(devices[i].deviceid));
        }
    }
    XIFreeDeviceInfo(devices);
    return found;
}

TEST_F(InputTest, PostedKeysCarryExactlyTheGivenFlagsWhateverTheUserHolds) {
    struct Case {
        unsigned held;
        uint64_t flags;
        unsigned state;
    };
    const Case cases[] = {
        {shift, 0, 0},
        {shift, eventflags::control, ControlMask},
        {control, eventflags::command | eventflags::shift, Mod4Mask | ShiftMask},
        {shift, eventflags::option | eventflags::control | eventflags::shift | eventflags::command,
         Mod1Mask | ControlMask | ShiftMask | Mod4Mask},
        {0, eventflags::option, Mod1Mask},
    };
    Display* d = session().display();
    XDevice* keyboard = serverKeyboard(d);
    ASSERT_NE(keyboard, nullptr);
    auto isDown = [&](unsigned keycode) {
        std::array<char, 32> keys{};
        XQueryKeymap(d, keys.data());
        return (keys[keycode / 8] & (1 << (keycode % 8))) != 0;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        if (c.held != 0) {
            XTestFakeDeviceKeyEvent(d, keyboard, c.held, True, nullptr, 0, CurrentTime);
        }
        XSync(d, False);
        XSetInputFocus(d, window_, RevertToParent, CurrentTime);
        received_.clear();
        ASSERT_TRUE(poster_->postKey(0, true, c.flags, syntheticEventMarker));
        ASSERT_TRUE(poster_->postKey(0, false, c.flags, syntheticEventMarker));
        ASSERT_TRUE(waitFor(KeyRelease, keyA));
        const auto press = first(KeyPress, keyA);
        ASSERT_TRUE(press.has_value());
        EXPECT_EQ(press->state & (ControlMask | Mod1Mask | ShiftMask | Mod4Mask), c.state);
        // What the user holds is down again afterwards, and nothing else stays down.
        if (c.held != 0) {
            EXPECT_TRUE(isDown(c.held));
            XTestFakeDeviceKeyEvent(d, keyboard, c.held, False, nullptr, 0, CurrentTime);
            XSync(d, False);
        }
        for (unsigned m : {shift, control, alt, super}) {
            EXPECT_FALSE(isDown(m)) << m;
        }
    }
    XCloseDevice(d, keyboard);
}

TEST_F(InputTest, BoundMouseButtonsAreSwallowedWithTheirRelease) {
    // Engine buttons 2 (middle), 3 (back) and 4 (forward) are X buttons 2, 8 and 9.
    bind({}, {2, 3, 4});
    reset();
    for (unsigned b : {2U, 8U, 9U}) {
        user_->click(b);
    }
    user_->click(3);  // right: not bound, passes, and marks the end
    ASSERT_TRUE(waitFor(ButtonRelease, 3));
    for (unsigned b : {2U, 8U, 9U}) {
        EXPECT_EQ(count(ButtonPress, b), 0) << b;
        EXPECT_EQ(count(ButtonRelease, b), 0) << b;
    }
    EXPECT_EQ(count(ButtonPress, 3), 1);
    EXPECT_EQ(engine_.fired, 3);
    for (int64_t b : {2, 3, 4}) {
        const auto ups = std::count_if(engine_.seen.begin(), engine_.seen.end(), [&](auto& e) {
            return e.type == EventType::otherMouseUp && e.button == b;
        });
        EXPECT_EQ(ups, 1) << b;
    }
}

TEST_F(InputTest, FailingHandlerLetsTheKeyThroughAndNothingFreezes) {
    bind({{controlOptionLeft, {}}});
    reset();
    engine_.throwOnKey = true;
    user_->tap(keyLeft, {control, alt});
    ASSERT_TRUE(waitFor(KeyRelease, keyLeft));
    engine_.throwOnKey = false;
    ASSERT_TRUE(settle());
    EXPECT_EQ(count(KeyPress, keyLeft), 1);
}

TEST_F(InputTest, GrabsFollowTheRequest) {
    bind({{controlOptionLeft, {}}});
    bind({});  // the binding went away: the key must reach the window again
    reset();
    user_->tap(keyLeft, {control, alt});
    ASSERT_TRUE(settle());
    EXPECT_EQ(count(KeyPress, keyLeft), 1);
    bind({{controlOptionLeft, {}}});
    reset();
    user_->tap(keyLeft, {control, alt});
    ASSERT_TRUE(settle());
    EXPECT_EQ(count(KeyPress, keyLeft), 0);
}

TEST_F(InputTest, MiddleClickReachesTheWindowUnderThePointer) {
    Display* d = session().display();
    XTestFakeMotionEvent(d, -1, 350, 250, CurrentTime);
    XSync(d, False);
    reset();
    const auto at = poster_->pointerLocation();
    ASSERT_TRUE(at.has_value());
    EXPECT_EQ(*at, (Point{350, 250}));
    ASSERT_TRUE(poster_->postMouseButton(2, true, *at, syntheticEventMarker));
    ASSERT_TRUE(poster_->postMouseButton(2, false, *at, syntheticEventMarker));
    EXPECT_TRUE(waitFor(ButtonRelease, 2));
    EXPECT_EQ(count(ButtonPress, 2), 1);
}

TEST_F(InputTest, MediaKeysArriveAsTheirKeysyms) {
    struct Case {
        int64_t key;
        unsigned long keysym;
    };
    const Case cases[] = {{16, XF86XK_AudioPlay},       {17, XF86XK_AudioNext},
                          {18, XF86XK_AudioPrev},       {0, XF86XK_AudioRaiseVolume},
                          {1, XF86XK_AudioLowerVolume}, {7, XF86XK_AudioMute}};
    Display* d = session().display();
    XSetInputFocus(d, window_, RevertToParent, CurrentTime);
    XSync(d, False);
    for (const auto& c : cases) {
        received_.clear();
        const unsigned keycode = XKeysymToKeycode(d, c.keysym);
        ASSERT_NE(keycode, 0U);
        ASSERT_TRUE(poster_->postAux({0xA00, 8, (c.key << 16) | 0xA00, -1}));
        ASSERT_TRUE(poster_->postAux({0xB00, 8, (c.key << 16) | 0xB00, -1}));
        ASSERT_TRUE(waitFor(KeyRelease, keycode)) << c.key;
        EXPECT_EQ(XkbKeycodeToKeysym(d, static_cast<KeyCode>(keycode), 0, 0), c.keysym);
    }
    // Not a media key, not the media subtype, not a press or release state.
    EXPECT_FALSE(poster_->postAux({0xA00, 8, (5 << 16) | 0xA00, -1}));
    EXPECT_FALSE(poster_->postAux({0xA00, 7, (16 << 16) | 0xA00, -1}));
    EXPECT_FALSE(poster_->postAux({0xA00, 8, (16 << 16) | 0x0C00, -1}));
}

TEST_F(InputTest, PointerMotionArrivesOnlyWhileAskedForWithItsLocation) {
    Display* d = session().display();
    auto moves = [&] {
        return std::count_if(engine_.seen.begin(), engine_.seen.end(),
                             [](auto& e) { return e.type == EventType::mouseMoved; });
    };
    bind({});
    reset();
    XTestFakeMotionEvent(d, -1, 300, 300, CurrentTime);
    XTestFakeMotionEvent(d, -1, 310, 305, CurrentTime);
    user_->click(3);  // a marker event: once it is seen, the moves before it were too
    ASSERT_TRUE(pumpUntil([&] {
        return std::any_of(engine_.seen.begin(), engine_.seen.end(),
                           [](auto& e) { return e.type == EventType::otherMouseUp; });
    }));
    EXPECT_EQ(moves(), 0);

    GrabRequest request = engine_.request();
    request.pointerMotion = true;
    tap_->setGrabs(request);
    XSync(x_->display(), False);
    XTestFakeMotionEvent(d, -1, 420, 333, CurrentTime);
    XFlush(d);
    ASSERT_TRUE(pumpUntil([&] { return moves() > 0; }));
    const auto last = std::find_if(engine_.seen.rbegin(), engine_.seen.rend(),
                                   [](auto& e) { return e.type == EventType::mouseMoved; });
    EXPECT_EQ(last->location, (Point{420, 333}));
    EXPECT_EQ(last->sourceUserData, syntheticEventMarker);  // XTEST moved it
}

TEST(ButtonNumbers, EngineAndXNumbersCorrespond) {
    const std::pair<int64_t, unsigned> pairs[] = {{0, 1}, {1, 3},  {2, 2},  {3, 8},
                                                  {4, 9}, {5, 10}, {10, 15}};
    for (auto [engine, x] : pairs) {
        EXPECT_EQ(xButtonFromEngine(engine), x);
        EXPECT_EQ(engineButtonFromX(x), engine);
    }
    for (unsigned wheel : {4U, 5U, 6U, 7U, 0U, 256U}) {
        EXPECT_FALSE(engineButtonFromX(wheel)) << wheel;
    }
    EXPECT_FALSE(xButtonFromEngine(-1));
    EXPECT_FALSE(xButtonFromEngine(1000));
}

TEST(ModifierMasks, OnlyTheFourFlagsCount) {
    EXPECT_EQ(flagsFromXMods(ShiftMask | LockMask | Mod2Mask), eventflags::shift);
    EXPECT_EQ(flagsFromXMods(Mod4Mask | Mod1Mask | ControlMask),
              eventflags::command | eventflags::option | eventflags::control);
    EXPECT_EQ(flagsFromXMods(Mod5Mask | Mod3Mask), 0U);
    EXPECT_EQ(xModsFromMods(Mods(Mods::command | Mods::shift)), unsigned(Mod4Mask | ShiftMask));
    EXPECT_EQ(xModsFromMods(Mods(0)), 0U);
    EXPECT_FALSE(xModsFromMods(Mods(16)));
    EXPECT_FALSE(xModsFromMods(Mods(-1)));
}

}  // namespace
}  // namespace ombrel::linux_platform
