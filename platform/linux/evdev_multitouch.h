// Touchpad contacts from the kernel's input devices: the touchpads udev knows, opened through
// libevdev, read on one thread that also follows arrivals and departures.
#pragma once

#include <linux/input.h>

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/touch_frames.h"
#include "platform/linux/udev_touchpads.h"
#include "platform/multitouch.h"

namespace ombrel::linux_platform {

// One open touchpad as the reader sees it.
class EventDevice {
  public:
    enum class Read { event, drained, gone };
    virtual ~EventDevice() = default;

    // Readable when events wait.
    [[nodiscard]] virtual int fd() const = 0;
    [[nodiscard]] virtual TouchpadCapabilities capabilities() const = 0;
    // The pad's state when it was opened (fingers may already rest on it).
    [[nodiscard]] virtual TouchpadState state() const = 0;
    // The next event in libevdev's order: after SYN_DROPPED come the changes that bring the
    // state up to date. Drained when none waits; gone when the device has left.
    virtual Read next(input_event& event) = 0;
};

struct Opened {
    std::unique_ptr<EventDevice> device;
    int error = 0;  // errno when there is no device
};
using DeviceOpener = std::function<Opened(const std::string& path)>;

// Opens an event device through libevdev, its timestamps on the monotonic clock.
Opened openEvdev(const std::string& path);

class EvdevMultitouch : public MultitouchSource {
  public:
    explicit EvdevMultitouch(std::unique_ptr<TouchpadWatch> watch = udevTouchpads(),
                             DeviceOpener open = openEvdev);
    ~EvdevMultitouch() override;
    EvdevMultitouch(const EvdevMultitouch&) = delete;
    EvdevMultitouch& operator=(const EvdevMultitouch&) = delete;

    // The first call opens the touchpads present and starts the reader thread.
    std::vector<TouchDevice> deviceList() override;
    void registerFrameCallback(TouchDevice device, FrameCallback callback) override;
    void start(TouchDevice device) override;
    std::vector<std::string> unreadable() override;
    void watch(std::function<void()> changed) override;
    void stop() override;

  private:
    struct Device {
        std::string path;
        std::unique_ptr<EventDevice> events;
        TouchFrameBuilder builder;
        FrameCallback callback;
        bool started = false;
    };
    void run();
    // With mutex_ held; true when the devices or the unreadable ones changed.
    bool arrive(const TouchpadNode& node);
    bool leave(const std::string& path);
    bool readDevice(Device& device);
    void notify();
    void wake();

    std::unique_ptr<TouchpadWatch> watch_;
    DeviceOpener open_;
    std::mutex mutex_;  // guards everything below between the caller and the reader thread
    std::map<TouchDevice, Device> devices_;
    std::vector<TouchpadNode> unreadable_;
    std::function<void()> changed_;
    bool listed_ = false;
    bool stopped_ = false;
    TouchDevice nextId_ = 1;
    std::array<int, 2> wakePipe_{-1, -1};
    std::atomic<bool> stopping_{false};
    std::thread reader_;
};

}  // namespace ombrel::linux_platform
