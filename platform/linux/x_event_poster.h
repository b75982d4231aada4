// The program's own keystrokes, media keys and clicks on X11, sent through XTEST. XTEST is also
// how xdotool, on-screen keyboards and remote desktops type, so the poster keeps a ledger of what
// it is about to send: the tap takes an XTEST event for the program's own only when it is the next
// one in the ledger.
#pragma once

#include <X11/Xlib.h>

#include <array>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/input.h"
#include "platform/linux/x_connection.h"

namespace ombrel::linux_platform {

// The events posted and not yet seen arriving, oldest first, keys and buttons apart (their devices
// queue their events separately). Times are the X server's, in milliseconds: an event keeps the
// time it was made at however long a frozen device held it back, so an entry is given up only
// once an event made more than the lifetime after it arrives: then it was lost, and it must not
// mask later user input.
class PostLedger {
  public:
    enum class Kind : uint8_t { key, button };
    struct Entry {
        Kind kind = Kind::key;
        unsigned code = 0;  // X key code or X button
        bool press = false;
        bool restore = false;  // a modifier pressed again for the user once a post is done
        friend bool operator==(const Entry& a, const Entry& b) {
            return a.kind == b.kind && a.code == b.code && a.press == b.press;
        }
    };
    static constexpr int64_t lifetime = 1000;

    void record(Entry entry, int64_t now);
    // The oldest entry of the event's kind when an event from an XTEST device, made at the given
    // time, is that entry; the entry is then used up.
    std::optional<Entry> consume(Entry entry, int64_t madeAt);
    // Whether events of that kind were posted recently and have not all arrived.
    bool pending(Kind kind, int64_t now);

  private:
    struct Posted {
        Entry entry;
        int64_t at = 0;
    };
    std::mutex mutex_;
    std::array<std::deque<Posted>, 2> posted_;
};

// The X keysym of a media key.
unsigned long mediaKeysym(MediaKey key);

// Where the pointer is, through this connection; nothing when it cannot be read.
std::optional<Point> queryPointer(XConnection& connection);

class X11EventPoster : public EventPoster {
  public:
    explicit X11EventPoster(XConnection& connection);

    bool postKeystroke(int64_t keyCode, Mods mods) override;
    bool postMediaKey(MediaKey key) override;
    bool postClick(int64_t button, Point at) override;
    std::optional<Point> pointerLocation() override;

    // For the tap: the posted entry an event from an XTEST device, made at that server time, is;
    // nothing when it is somebody else's.
    std::optional<PostLedger::Entry> ownEvent(PostLedger::Entry entry, Time madeAt);
    // For the tap: an event made at that server time arrived now. The earliest arrivals tell how
    // the server's clock stands to this process's.
    void sawEvent(Time madeAt);
    // For the tap: lets go of a key (a modifier held for the user once the user has let go of it,
    // a key the server still counts as down).
    void releaseKey(unsigned keycode);
    // For the tap: runs before anything is posted, on this thread and connection, so that what
    // the tap asks of the server then comes before the posted events.
    void beforePosting(std::function<void()> hook) { beforePosting_ = std::move(hook); }
    // For the tap: posted keys have not all arrived yet.
    [[nodiscard]] bool postingKeys() { return ledger_.pending(PostLedger::Kind::key, serverNow()); }
    // The server's time now, as far as the events seen so far tell.
    [[nodiscard]] int64_t serverNow() const;
    // An event's server time on this process's monotonic clock, in seconds: the time the engine
    // and touchpad frames are on. No later than the event's arrival.
    [[nodiscard]] double localTime(Time madeAt) const;

  private:
    using Step = PostLedger::Entry;
    // Sends the steps with exactly these modifiers held, then holds the user's own again.
    void send(std::span<const Step> steps, Mods mods);
    void fake(const Step& step);
    [[nodiscard]] bool ready() const;
    static int64_t steadyMs();

    XConnection& x_;
    PostLedger ledger_;
    std::function<void()> beforePosting_;
    // Steady milliseconds minus server milliseconds, at its smallest so far.
    std::atomic<int64_t> clockOffset_{INT64_MAX};
};

}  // namespace ombrel::linux_platform
