// The event tap and the poster against a real X server: what is swallowed, what reaches the
// focused window untouched, and what the program posts itself.
#include <gtest/gtest.h>

#include "engine/engine.h"
#include "platform/linux/key_codes.h"
#include "platform/linux/linux_workspace.h"
#include "platform/linux/x_event_poster.h"
#include "platform/linux/x_event_tap.h"

#include <X11/XF86keysym.h>
#include <X11/XKBlib.h>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>

#include "env.h"

namespace ombrel::linux_platform {
namespace {

using namespace platform_test;

// X key codes under the evdev rules.
constexpr unsigned keyA = 38, keyZ = 52, keyK = 45, keyLeft = 113, capsLock = 66, numLock = 77;
constexpr unsigned control = 37, alt = 64, super = 133, shift = 50;
constexpr unsigned fourMasks = ControlMask | Mod1Mask | ShiftMask | Mod4Mask;
constexpr uint64_t controlOption = eventflags::control | eventflags::option;
constexpr KeyCombo controlOptionLeft{123, Mods(Mods::control | Mods::option)};

constexpr KeyCombo commandShiftK{40, Mods(Mods::command | Mods::shift)};

class InputTest : public ::testing::Test {
  protected:
    static constexpr long masks =
        KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask;

    void SetUp() override {
        ASSERT_TRUE(session().ready()) << session().failure();
        window_ = session().createWindow("ombreltest", "OmbrelTest", 200, 150, 400, 300, masks);
        ASSERT_NE(window_, 0U);
        ASSERT_TRUE(session().activate(window_));
        userPointer(400, 300);
        ASSERT_TRUE(tap_.trusted());
        ASSERT_TRUE(tap_.install([this](const InputEvent& e) { return handle(e); }));
    }
    void TearDown() override {
        XDestroyWindow(d_, window_);
        XSync(d_, False);
    }

    // Stands in for the engine: swallows the bound keys (controlOptionLeft only while scope_, if
    // any, is the frontmost application) and buttons, never what the program posted itself.
    bool handle(const InputEvent& e) {
        seen_.push_back(e);
        const bool user = e.sourceUserData != syntheticEventMarker;
        if (e.type == EventType::otherMouseDown || e.type == EventType::otherMouseUp) {
            const bool hit = user && std::count(buttons_.begin(), buttons_.end(), e.button) > 0;
            fired_ += hit && e.type == EventType::otherMouseDown ? 1 : 0;
            return hit;
        }
        if (e.type != EventType::keyDown || !user) {
            return false;
        }
        if (throwOnKey_) {
            throw std::runtime_error("engine failure");
        }
        const KeyCombo combo{e.keyCode, modsFromFlags(e.flags)};
        const bool hit =
            combo == commandShiftK || (combo == controlOptionLeft &&
                                       (!scope_ || scope_ == workspace_.frontmostApplicationID()));
        fired_ += hit && !e.autorepeat ? 1 : 0;
        return hit;
    }

    void bind(std::vector<KeyCombo> keys, std::vector<int64_t> buttons = {}) {
        buttons_ = buttons;
        tap_.setGrabs({std::move(keys), std::move(buttons)});
        XSync(x_.display(), False);
        received_.clear();
        seen_.clear();
        fired_ = 0;
    }

    // Waits until the window has received the event: everything sent before it has then been
    // decided on.
    bool waitFor(int type, unsigned code) {
        return pumpUntil([&] {
            XEvent e;
            while (XCheckWindowEvent(d_, window_, masks, &e)) {
                const bool key = e.type == KeyPress || e.type == KeyRelease;
                received_.push_back({e.type, key ? e.xkey.keycode : e.xbutton.button,
                                     key ? e.xkey.state : e.xbutton.state});
            }
            return count(type, code) > 0;
        });
    }
    // An unbound key that marks the end of what came before it.
    bool settle() {
        userTap(keyZ);
        return waitFor(KeyRelease, keyZ);
    }
    [[nodiscard]] int count(int type, unsigned code) const {
        return static_cast<int>(std::count_if(received_.begin(), received_.end(), [&](auto& r) {
            return r.type == type && r.code == code;
        }));
    }
    // The modifier state of the first press the window received, of the four that count.
    [[nodiscard]] unsigned pressState(unsigned code) const {
        const auto it = std::find_if(received_.begin(), received_.end(),
                                     [&](auto& r) { return r.type == KeyPress && r.code == code; });
        return it == received_.end() ? ~0U : it->state & fourMasks;
    }
    [[nodiscard]] int seen(EventType type, int64_t code, int64_t source) const {
        return static_cast<int>(std::count_if(seen_.begin(), seen_.end(), [&](auto& e) {
            return e.type == type &&
                   (e.type == EventType::keyDown ? e.keyCode : e.button) == code &&
                   e.sourceUserData == source;
        }));
    }

    struct Received {
        int type;
        unsigned code;
        unsigned state;
    };
    Display* d_ = session().display();
    Window window_ = 0;
    XConnection x_;
    X11EventTap tap_{x_};
    X11EventPoster poster_{x_};
    LinuxWorkspace workspace_{x_};
    std::optional<std::string> scope_;
    std::vector<int64_t> buttons_;
    std::vector<InputEvent> seen_;
    std::vector<Received> received_;
    int fired_ = 0;
    bool throwOnKey_ = false;
};

TEST_F(InputTest, BoundCombinationsAreSwallowedAndTheRestReachesTheWindowUntouched) {
    struct Case {
        const char* name;
        std::optional<std::string> scope;
        unsigned key;
        std::vector<unsigned> modifiers;
        unsigned lock;
        unsigned passedState;  // the state the window sees, or ~0 when the key is swallowed
    };
    const std::vector<Case> cases = {
        {"bound for every application", {}, keyLeft, {control, alt}, 0, ~0U},
        {"bound for the focused application", "OmbrelTest", keyLeft, {control, alt}, 0, ~0U},
        {"bound only for another one",
         "OtherApp",
         keyLeft,
         {control, alt},
         0,
         ControlMask | Mod1Mask},
        {"caps lock on", {}, keyLeft, {control, alt}, capsLock, ~0U},
        {"num lock on", {}, keyLeft, {control, alt}, numLock, ~0U},
        {"other modifiers than bound", {}, keyLeft, {control}, 0, ControlMask},
        {"unbound key", {}, keyA, {}, 0, 0},
        {"command and shift", {}, keyK, {super, shift}, 0, ~0U},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bind({controlOptionLeft, commandShiftK});
        scope_ = c.scope;
        if (c.lock != 0) {
            userTap(c.lock);  // on
        }
        userTap(c.key, c.modifiers);
        if (c.lock != 0) {
            userTap(c.lock);  // off
        }
        ASSERT_TRUE(settle());
        EXPECT_EQ(count(KeyPress, c.key), c.passedState == ~0U ? 0 : 1);
        EXPECT_EQ(fired_, c.passedState == ~0U ? 1 : 0);
        EXPECT_EQ(pressState(c.key), c.passedState);
        EXPECT_EQ(seen(EventType::keyDown, *virtualKeyFromX(c.key), 0), 1);
    }
}

TEST_F(InputTest, HeldBoundKeyFiresOnceAndItsRepeatsAreSwallowed) {
    bind({controlOptionLeft});
    // Quick repeats so the test stays short.
    XkbSetAutoRepeatRate(d_, XkbUseCoreKbd, 60, 20);
    XkbChangeEnabledControls(d_, XkbUseCoreKbd, XkbRepeatKeysMask, XkbRepeatKeysMask);
    for (unsigned k : {control, alt, keyLeft}) {
        userKey(k, true);
    }
    const bool repeated = pumpUntil([&] {
        return std::count_if(seen_.begin(), seen_.end(), [](auto& e) { return e.autorepeat; }) >= 3;
    });
    for (unsigned k : {keyLeft, alt, control}) {
        userKey(k, false);
    }
    ASSERT_TRUE(settle());
    ASSERT_TRUE(repeated);
    EXPECT_EQ(fired_, 1);
    EXPECT_EQ(count(KeyPress, keyLeft), 0);
}

TEST_F(InputTest, PostedKeysArriveMarkedWithExactlyTheirFlagsWhateverTheUserHolds) {
    struct Case {
        unsigned held;
        int64_t key;
        unsigned xKey;
        uint64_t flags;
        unsigned state;
    };
    const Case cases[] = {
        {0, 123, keyLeft, controlOption, ControlMask | Mod1Mask},  // a bound combination
        {shift, 0, keyA, 0, 0},
        {shift, 0, keyA, eventflags::control, ControlMask},
        {control, 0, keyA, eventflags::command | eventflags::shift, Mod4Mask | ShiftMask},
        {shift, 0, keyA, controlOption | eventflags::shift | eventflags::command, fourMasks},
    };
    auto isDown = [&](unsigned keycode) {
        std::array<char, 32> keys{};
        XQueryKeymap(d_, keys.data());
        return (keys[keycode / 8] & (1 << (keycode % 8))) != 0;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        bind({controlOptionLeft});
        if (c.held != 0) {
            userKey(c.held, true);
        }
        ASSERT_TRUE(poster_.postKey(c.key, true, c.flags, syntheticEventMarker));
        ASSERT_TRUE(poster_.postKey(c.key, false, c.flags, syntheticEventMarker));
        ASSERT_TRUE(waitFor(KeyRelease, c.xKey));
        EXPECT_EQ(pressState(c.xKey), c.state);
        EXPECT_EQ(fired_, 0);
        if (c.key == 123) {
            EXPECT_EQ(seen(EventType::keyDown, c.key, syntheticEventMarker), 1);
        }
        // What the user holds is down again afterwards, and nothing else stays down.
        if (c.held != 0) {
            EXPECT_TRUE(isDown(c.held));
            userKey(c.held, false);
            XSync(d_, False);
        }
        for (unsigned m : {shift, control, alt, super}) {
            EXPECT_FALSE(isDown(m)) << m;
        }
    }
}

TEST_F(InputTest, BoundMouseButtonsAreSwallowedWithTheirRelease) {
    // Engine buttons 2 (middle), 3 (back) and 4 (forward) are X buttons 2, 8 and 9.
    bind({}, {2, 3, 4});
    for (unsigned b : {2U, 8U, 9U, 3U}) {
        userClick(b);  // right (3) is not bound: it passes and marks the end
    }
    ASSERT_TRUE(waitFor(ButtonRelease, 3));
    for (auto [engine, x] : {std::pair{2, 2U}, {3, 8U}, {4, 9U}}) {
        EXPECT_EQ(count(ButtonPress, x) + count(ButtonRelease, x), 0) << x;
        EXPECT_EQ(seen(EventType::otherMouseUp, engine, 0), 1) << engine;
    }
    EXPECT_EQ(count(ButtonPress, 3), 1);
    EXPECT_EQ(fired_, 3);
}

TEST_F(InputTest, FailingHandlerLetsTheKeyThroughAndNothingFreezes) {
    bind({controlOptionLeft});
    throwOnKey_ = true;
    userTap(keyLeft, {control, alt});
    ASSERT_TRUE(waitFor(KeyRelease, keyLeft));
    throwOnKey_ = false;
    ASSERT_TRUE(settle());
    EXPECT_EQ(count(KeyPress, keyLeft), 1);
}

TEST_F(InputTest, PostedMiddleClickAndMediaKeysReachTheWindow) {
    bind({});
    XWarpPointer(d_, None, DefaultRootWindow(d_), 0, 0, 0, 0, 350, 250);
    XSync(d_, False);
    const auto at = poster_.pointerLocation();
    ASSERT_EQ(at, (Point{350, 250}));
    ASSERT_TRUE(poster_.postMouseButton(2, true, *at, syntheticEventMarker));
    ASSERT_TRUE(poster_.postMouseButton(2, false, *at, syntheticEventMarker));
    EXPECT_TRUE(waitFor(ButtonRelease, 2));
    EXPECT_EQ(count(ButtonPress, 2), 1);

    const std::pair<int64_t, unsigned long> media[] = {
        {16, XF86XK_AudioPlay},       {17, XF86XK_AudioNext},       {18, XF86XK_AudioPrev},
        {0, XF86XK_AudioRaiseVolume}, {1, XF86XK_AudioLowerVolume}, {7, XF86XK_AudioMute}};
    for (auto [key, keysym] : media) {
        const unsigned keycode = XKeysymToKeycode(d_, keysym);
        ASSERT_TRUE(poster_.postAux({0xA00, 8, (key << 16) | 0xA00, -1}));
        ASSERT_TRUE(poster_.postAux({0xB00, 8, (key << 16) | 0xB00, -1}));
        EXPECT_TRUE(keycode != 0 && waitFor(KeyRelease, keycode)) << key;
    }
    // Not a media key, not the media subtype, not a press or release state.
    EXPECT_FALSE(poster_.postAux({0xA00, 8, (5 << 16) | 0xA00, -1}));
    EXPECT_FALSE(poster_.postAux({0xA00, 7, (16 << 16) | 0xA00, -1}));
    EXPECT_FALSE(poster_.postAux({0xA00, 8, (16 << 16) | 0x0C00, -1}));
}

}  // namespace
}  // namespace ombrel::linux_platform
