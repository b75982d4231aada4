// The touchpad's driver settings as libinput's X driver publishes them: device properties of the
// pointer device, next to the "Device Node" that ties the device to the kernel's event node.
#pragma once

#include <X11/Xlib.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/input.h"

namespace ombrel::linux_platform {

// The values of the properties a setting is read from; absent when the device has none.
struct DriverProperties {
    std::optional<std::vector<uint8_t>> tapping;      // "libinput Tapping Enabled": on
    std::optional<std::vector<uint8_t>> tapMap;       // "... Tapping Button Mapping ...": lrm, lmr
    std::optional<std::vector<uint8_t>> clickMethod;  // "... Click Method Enabled": areas, finger
};

// What the values say; `found` is left to the caller.
[[nodiscard]] TouchpadDriver driverFrom(const DriverProperties& properties);
// Two touchpads at once: what both say, unknown where they differ.
[[nodiscard]] TouchpadDriver combine(const TouchpadDriver& a, const TouchpadDriver& b);

class LibinputProperties {
  public:
    // Interns the property names once.
    explicit LibinputProperties(Display* display);

    // Whether a change of this property may change the settings.
    [[nodiscard]] bool concerns(Atom property) const;
    [[nodiscard]] DriverProperties read(int device) const;
    // The kernel's event node the device reads, as the driver names it.
    [[nodiscard]] std::optional<std::string> deviceNode(int device) const;

  private:
    [[nodiscard]] std::optional<std::vector<uint8_t>> bytes(int device, Atom property) const;

    Display* display_;
    // Device node, tapping, tap button mapping, click method.
    std::array<Atom, 4> atoms_{};
};

}  // namespace ombrel::linux_platform
