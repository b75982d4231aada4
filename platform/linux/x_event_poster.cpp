// Posts keystrokes, media keys and clicks with XTEST, with exactly the modifiers asked for, and
// records each event in the ledger before it goes out.
#include "platform/linux/x_event_poster.h"

#include <X11/XF86keysym.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cmath>

#include "platform/linux/key_codes.h"

namespace ombrel::linux_platform {

namespace {

bool keyDown(const std::array<char, 32>& keys, unsigned keycode) {
    return keycode < 256 && (keys[keycode / 8] & (1 << (keycode % 8))) != 0;
}

}  // namespace

void PostLedger::record(Entry entry, int64_t now) {
    constexpr std::size_t most = 4096;  // far more than a backlog of posts ever holds
    const std::lock_guard lock(mutex_);
    auto& queue = posted_[static_cast<std::size_t>(entry.kind)];
    if (queue.size() == most) {
        queue.pop_front();
    }
    queue.push_back({entry, now});
}

std::optional<PostLedger::Entry> PostLedger::consume(Entry entry, int64_t madeAt) {
    const std::lock_guard lock(mutex_);
    auto& queue = posted_[static_cast<std::size_t>(entry.kind)];
    while (!queue.empty() && queue.front().at + lifetime < madeAt) {
        queue.pop_front();
    }
    if (queue.empty() || !(queue.front().entry == entry)) {
        return std::nullopt;
    }
    const Entry found = queue.front().entry;
    queue.pop_front();
    return found;
}

bool PostLedger::pending(Kind kind, int64_t now) {
    const std::lock_guard lock(mutex_);
    const auto& queue = posted_[static_cast<std::size_t>(kind)];
    // A frozen device may hold posted events back for long; entries older than that were lost.
    constexpr int64_t longest = 10 * lifetime;
    return !queue.empty() && queue.back().at + longest >= now;
}

unsigned long mediaKeysym(MediaKey key) {
    switch (key) {
        case MediaKey::playPause:
            return XF86XK_AudioPlay;
        case MediaKey::next:
            return XF86XK_AudioNext;
        case MediaKey::previous:
            return XF86XK_AudioPrev;
        case MediaKey::volumeUp:
            return XF86XK_AudioRaiseVolume;
        case MediaKey::volumeDown:
            return XF86XK_AudioLowerVolume;
        case MediaKey::mute:
            return XF86XK_AudioMute;
    }
    return NoSymbol;
}

X11EventPoster::X11EventPoster(XConnection& connection) : x_(connection) {}

bool X11EventPoster::ready() const {
    return x_.connected() && x_.hasXTest();
}

int64_t X11EventPoster::steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t X11EventPoster::serverNow() const {
    const int64_t offset = clockOffset_.load(std::memory_order_relaxed);
    // Before any event has arrived nothing is known; such entries wait for their events.
    return offset == INT64_MAX ? INT64_MAX / 2 : steadyMs() - offset;
}

double X11EventPoster::localTime(Time madeAt) const {
    const int64_t offset = clockOffset_.load(std::memory_order_relaxed);
    const int64_t ms = offset == INT64_MAX ? steadyMs() : static_cast<int64_t>(madeAt) + offset;
    return static_cast<double>(ms) / 1000.0;
}

void X11EventPoster::sawEvent(Time madeAt) {
    const int64_t offset = steadyMs() - static_cast<int64_t>(madeAt);
    int64_t known = clockOffset_.load(std::memory_order_relaxed);
    // The server's clock wraps after 49 days: a jump of more than a day starts afresh.
    constexpr int64_t day = 86'400'000;
    while ((offset < known || offset > known + day) &&
           !clockOffset_.compare_exchange_weak(known, offset, std::memory_order_relaxed)) {
    }
}

std::optional<PostLedger::Entry> X11EventPoster::ownEvent(PostLedger::Entry entry, Time madeAt) {
    return ledger_.consume(entry, static_cast<int64_t>(madeAt));
}

void X11EventPoster::releaseKey(unsigned keycode) {
    if (ready()) {
        fake({PostLedger::Kind::key, keycode, false});
        XFlush(x_.display());
    }
}

void X11EventPoster::fake(const Step& step) {
    ledger_.record(step, serverNow());
    if (step.kind == PostLedger::Kind::key) {
        XTestFakeKeyEvent(x_.display(), step.code, step.press ? True : False, CurrentTime);
    } else {
        XTestFakeButtonEvent(x_.display(), step.code, step.press ? True : False, CurrentTime);
    }
}

void X11EventPoster::send(std::span<const Step> steps, Mods mods) {
    Display* d = x_.display();
    if (beforePosting_) {
        beforePosting_();
    }
    // From reading which modifiers are held to the last posted event, no other client's input is
    // taken: a modifier another client (xdotool, a remote desktop) pressed in between would
    // otherwise be added to the keystroke.
    XGrabServer(d);
    const struct Ungrab {
        Display* d;
        explicit Ungrab(Display* display) : d(display) {}
        Ungrab(const Ungrab&) = delete;
        Ungrab& operator=(const Ungrab&) = delete;
        ~Ungrab() {
            XUngrabServer(d);
            XFlush(d);
        }
    } ungrab{d};
    std::array<char, 32> keys{};
    XQueryKeymap(d, keys.data());
    XModifierKeymap* map = XGetModifierMapping(d);
    const KeyCode numLock = XKeysymToKeycode(d, XK_Num_Lock);
    std::vector<unsigned> released;
    std::vector<unsigned> pressed;
    const std::ptrdiff_t perRow = map != nullptr ? map->max_keypermod : 0;
    for (int row = 0; row < 8; ++row) {
        const auto first = map != nullptr ? map->modifiermap + row * perRow : nullptr;
        // Caps Lock and Num Lock stay as they are: they lock, holding them means nothing.
        if (row == LockMapIndex ||
            (numLock != 0 && std::find(first, first + perRow, numLock) != first + perRow)) {
            continue;
        }
        const auto wanted = std::find_if(xModifiers().begin(), xModifiers().end(),
                                         [&](const XModifier& m) { return m.row == row; });
        const bool want = wanted != xModifiers().end() && mods.contains(wanted->mod);
        bool held = false;
        for (std::ptrdiff_t i = 0; i < perRow; ++i) {
            const unsigned keycode = first[i];
            if (keycode == 0 || !keyDown(keys, keycode)) {
                continue;
            }
            held = true;
            if (!want && std::find(released.begin(), released.end(), keycode) == released.end()) {
                released.push_back(keycode);
            }
        }
        if (want && !held) {
            pressed.push_back(wanted->key);
        }
    }
    if (map != nullptr) {
        XFreeModifiermap(map);
    }
    for (unsigned keycode : released) {
        fake({PostLedger::Kind::key, keycode, false});
    }
    // Every key press is preceded by a release of the same key: the XTEST keyboard may count the
    // key as down already (pressed by another XTEST client, or held again for the user), and the
    // server drops such a press, which would then never arrive to take its entry off the ledger.
    const auto press = [this](unsigned keycode, bool restore) {
        fake({PostLedger::Kind::key, keycode, false});
        fake({PostLedger::Kind::key, keycode, true, restore});
    };
    for (unsigned keycode : pressed) {
        press(keycode, false);
    }
    for (const Step& step : steps) {
        if (step.kind == PostLedger::Kind::key && step.press) {
            press(step.code, false);
        } else {
            fake(step);
        }
    }
    for (auto it = pressed.rbegin(); it != pressed.rend(); ++it) {
        fake({PostLedger::Kind::key, *it, false});
    }
    // Held again for the user: the tap lets go of each as soon as it sees that the user has, even
    // if that happened before this press was made.
    for (unsigned keycode : released) {
        press(keycode, true);
    }
    XFlush(d);
}

bool X11EventPoster::postKeystroke(int64_t keyCode, Mods mods) {
    const auto keycode = xKeyFromVirtual(keyCode);
    if (!ready() || !keycode) {
        return false;
    }
    const std::array<Step, 2> steps = {
        {{PostLedger::Kind::key, *keycode, true}, {PostLedger::Kind::key, *keycode, false}}};
    send(steps, mods);
    return true;
}

bool X11EventPoster::postMediaKey(MediaKey key) {
    if (!ready()) {
        return false;
    }
    const KeyCode keycode = XKeysymToKeycode(x_.display(), mediaKeysym(key));
    if (keycode == 0) {
        return false;
    }
    const std::array<Step, 2> steps = {
        {{PostLedger::Kind::key, keycode, true}, {PostLedger::Kind::key, keycode, false}}};
    send(steps, Mods());
    return true;
}

bool X11EventPoster::postClick(int64_t button, Point at) {
    const auto xButton = xButtonFromEngine(button);
    if (!ready() || !xButton) {
        return false;
    }
    const auto here = pointerLocation();
    if (std::isfinite(at.x) && std::isfinite(at.y) &&
        (!here || std::lround(here->x) != std::lround(at.x) ||
         std::lround(here->y) != std::lround(at.y))) {
        XTestFakeMotionEvent(x_.display(), -1, static_cast<int>(std::lround(at.x)),
                             static_cast<int>(std::lround(at.y)), CurrentTime);
    }
    const std::array<Step, 2> steps = {
        {{PostLedger::Kind::button, *xButton, true}, {PostLedger::Kind::button, *xButton, false}}};
    send(steps, Mods());
    return true;
}

std::optional<Point> X11EventPoster::pointerLocation() {
    return queryPointer(x_);
}

std::optional<Point> queryPointer(XConnection& connection) {
    if (!connection.connected()) {
        return std::nullopt;
    }
    Window root = None;
    Window child = None;
    int rx = 0;
    int ry = 0;
    int wx = 0;
    int wy = 0;
    unsigned mask = 0;
    if (!XQueryPointer(connection.display(), connection.root(), &root, &child, &rx, &ry, &wx, &wy,
                       &mask)) {
        return std::nullopt;
    }
    return Point{static_cast<double>(rx), static_cast<double>(ry)};
}

}  // namespace ombrel::linux_platform
