// Which touchpads the system has, and word when one arrives, changes or leaves: udev's view,
// so that a pad is known (and can be named) even when its device cannot be opened.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace ombrel::linux_platform {

struct TouchpadNode {
    std::string path;  // /dev/input/eventN
    std::string name;  // as the kernel names the device; may be empty
    friend bool operator==(const TouchpadNode&, const TouchpadNode&) = default;
};

class TouchpadWatch {
  public:
    struct Change {
        // False when the device left; true when it arrived or changed (its permissions may have).
        bool present = true;
        TouchpadNode node;
    };
    virtual ~TouchpadWatch() = default;

    // The touchpads there are now.
    virtual std::vector<TouchpadNode> present() = 0;
    // Readable when changes wait; -1 when this watch never reports any.
    [[nodiscard]] virtual int fd() const = 0;
    // The changes that wait, without blocking.
    virtual std::vector<Change> changes() = 0;
};

// Event devices with ID_INPUT_TOUCHPAD=1, from udev's database and its monitor; listening
// starts before the first listing, so no arrival falls between the two.
std::unique_ptr<TouchpadWatch> udevTouchpads();

// Whether udev counts the event node (/dev/input/eventN) among the touchpads.
bool isTouchpadNode(const std::string& path);

}  // namespace ombrel::linux_platform
