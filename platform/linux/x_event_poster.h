// The program's own keystrokes, clicks and media keys on X11, injected through XTEST; the tap
// recognises them by their XTEST source device.
#pragma once

#include <X11/Xlib.h>

#include <optional>
#include <vector>

#include "platform/input.h"
#include "platform/linux/x_connection.h"

namespace ombrel::linux_platform {

// The X keysym of a media key number (16 play, 17 next, 18 previous, 0 volume up, 1 volume
// down, 7 mute); nothing for any other number.
std::optional<unsigned long> mediaKeysym(int64_t auxKey);

class X11EventPoster : public EventPoster {
  public:
    explicit X11EventPoster(XConnection& connection);

    // Every event posted here comes from the XTEST device, which marks it as the program's own;
    // userData is therefore not needed to mark it.
    bool postKey(int64_t keyCode, bool down, uint64_t flags, int64_t userData) override;
    bool postMouseButton(int64_t button, bool down, Point at, int64_t userData) override;
    bool postAux(const AuxEvent& event) override;
    std::optional<Point> pointerLocation() override;

  private:
    // Sets the modifier keys so that exactly `flags` hold; returns the X key codes to undo.
    struct Changes {
        std::vector<unsigned> pressed;
        std::vector<unsigned> released;
    };
    Changes applyFlags(uint64_t flags);
    void undo(const Changes& changes);

    XConnection& x_;
};

}  // namespace ombrel::linux_platform
