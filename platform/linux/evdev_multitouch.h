// Touchpad contacts from the kernel's input devices: which devices are touchpads, how their
// event stream becomes frames of touching contacts, and the one thread that reads them all.
#pragma once

#include <linux/input.h>

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/multitouch.h"

struct libevdev;

namespace ombrel::linux_platform {

// What decides whether an input device is a touchpad.
struct TouchCapabilities {
    bool multitouchX = false;  // ABS_MT_POSITION_X
    bool multitouchY = false;  // ABS_MT_POSITION_Y
    bool pointer = false;      // INPUT_PROP_POINTER: moves a pointer, unlike a touchscreen
    bool direct = false;       // INPUT_PROP_DIRECT: a touchscreen or tablet surface
};

bool isTouchpad(const TouchCapabilities& caps);

// The event devices ("event<N>", in number order) of a folder that the probe says are
// touchpads; a device the probe cannot read (nothing) is skipped.
std::vector<std::string> touchpadPaths(
    const std::string& folder,
    const std::function<std::optional<TouchCapabilities>(const std::string& path)>& probe);

struct AxisRange {
    int minX = 0;
    int maxX = 0;
    int minY = 0;
    int maxY = 0;
};

// Turns the multitouch (slot protocol) events of one device into frames: at each SYN_REPORT
// the contacts whose tracking id is set, x as a fraction of the width, y as a fraction of the
// height growing toward the far edge. Allocates nothing after construction.
class TouchFrameBuilder {
  public:
    static constexpr int maxSlots = 32;
    explicit TouchFrameBuilder(AxisRange range);

    // True when the event completed a frame; frame() and time() then describe it.
    bool feed(const input_event& event);
    // Forgets every contact (after lost events, when the state is unknown).
    void reset();
    [[nodiscard]] std::span<const TouchPoint> frame() const { return {points_.data(), count_}; }
    [[nodiscard]] double time() const { return time_; }

  private:
    struct Slot {
        int trackingId = -1;
        int x = 0;
        int y = 0;
    };
    AxisRange range_;
    std::array<Slot, maxSlots> slots_{};
    std::array<TouchPoint, maxSlots> points_{};
    std::size_t count_ = 0;
    int current_ = 0;
    double time_ = 0;
};

using FrameSink = std::function<void(std::span<const TouchPoint>, double)>;

// Reads raw input_event records from fd until end of file, handing each frame to the sink.
// After SYN_DROPPED everything up to the next SYN_REPORT is dropped and all contacts are
// forgotten.
void readFrames(int fd, AxisRange range, const FrameSink& sink);

class EvdevMultitouch : public MultitouchSource {
  public:
    explicit EvdevMultitouch(std::string folder = "/dev/input");
    ~EvdevMultitouch() override;
    EvdevMultitouch(const EvdevMultitouch&) = delete;
    EvdevMultitouch& operator=(const EvdevMultitouch&) = delete;

    std::vector<TouchDevice> deviceList() override;
    void registerFrameCallback(TouchDevice device, FrameCallback callback) override;
    void start(TouchDevice device) override;

  private:
    struct Device {
        int fd = -1;
        libevdev* evdev = nullptr;
        std::unique_ptr<TouchFrameBuilder> builder;
        FrameCallback callback;
        bool started = false;
    };
    void run();
    void readDevice(Device& device);
    void wake();

    std::string folder_;
    std::mutex mutex_;  // guards devices_ between the caller and the reader thread
    std::map<TouchDevice, Device> devices_;
    TouchDevice nextId_ = 1;
    std::array<int, 2> wakePipe_{-1, -1};
    std::atomic<bool> stopping_{false};
    std::thread reader_;
};

}  // namespace ombrel::linux_platform
