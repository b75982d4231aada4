// Reads the touchpads udev knows through libevdev, on one thread that also follows hot-plug.
#include "platform/linux/evdev_multitouch.h"

#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace ombrel::linux_platform {

namespace {

constexpr std::array<uint16_t, 5> toolCodes = {
    BTN_TOOL_FINGER, BTN_TOOL_DOUBLETAP, BTN_TOOL_TRIPLETAP, BTN_TOOL_QUADTAP, BTN_TOOL_QUINTTAP};

// Events read from one device before the reader looks at the others (and at a stop request).
constexpr int readBurst = 1024;

double monotonicNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

class LibevdevDevice final : public EventDevice {
  public:
    LibevdevDevice(int fd, libevdev* evdev) : fd_(fd), evdev_(evdev) {}
    ~LibevdevDevice() override {
        libevdev_free(evdev_);
        close(fd_);
    }
    LibevdevDevice(const LibevdevDevice&) = delete;
    LibevdevDevice& operator=(const LibevdevDevice&) = delete;

    [[nodiscard]] int fd() const override { return fd_; }

    [[nodiscard]] TouchpadCapabilities capabilities() const override {
        TouchpadCapabilities caps;
        caps.slotCount = std::max(libevdev_get_num_slots(evdev_), 0);
        caps.x = {libevdev_get_abs_minimum(evdev_, ABS_MT_POSITION_X),
                  libevdev_get_abs_maximum(evdev_, ABS_MT_POSITION_X)};
        caps.y = {libevdev_get_abs_minimum(evdev_, ABS_MT_POSITION_Y),
                  libevdev_get_abs_maximum(evdev_, ABS_MT_POSITION_Y)};
        caps.semiMt = libevdev_has_property(evdev_, INPUT_PROP_SEMI_MT) != 0;
        caps.buttonpad = libevdev_has_property(evdev_, INPUT_PROP_BUTTONPAD) != 0;
        for (const uint16_t code : toolCodes) {
            if (libevdev_has_event_code(evdev_, EV_KEY, code) != 0) {
                caps.toolCounts = static_cast<uint8_t>(caps.toolCounts | 1U << toolFingers(code));
            }
        }
        return caps;
    }

    [[nodiscard]] TouchpadState state() const override {
        TouchpadState state;
        state.currentSlot = std::max(libevdev_get_current_slot(evdev_), 0);
        const auto slots = static_cast<std::size_t>(std::max(libevdev_get_num_slots(evdev_), 0));
        for (std::size_t i = 0; i < std::min(slots, TouchpadState::maxSlots); ++i) {
            const auto n = static_cast<unsigned>(i);
            state.slotValues[i] = {libevdev_get_slot_value(evdev_, n, ABS_MT_TRACKING_ID),
                                   libevdev_get_slot_value(evdev_, n, ABS_MT_POSITION_X),
                                   libevdev_get_slot_value(evdev_, n, ABS_MT_POSITION_Y),
                                   libevdev_get_slot_value(evdev_, n, ABS_MT_TOOL_TYPE)};
        }
        for (const uint16_t code : toolCodes) {
            if (libevdev_get_event_value(evdev_, EV_KEY, code) != 0) {
                state.tools = static_cast<uint8_t>(state.tools | 1U << toolFingers(code));
            }
        }
        return state;
    }

    Read next(input_event& event) override {
        for (;;) {
            const int rc = libevdev_next_event(
                evdev_, syncing_ ? LIBEVDEV_READ_FLAG_SYNC : LIBEVDEV_READ_FLAG_NORMAL, &event);
            if (rc == LIBEVDEV_READ_STATUS_SYNC) {
                // SYN_DROPPED, then each event of the resynchronisation.
                syncing_ = true;
                return Read::event;
            }
            if (rc == LIBEVDEV_READ_STATUS_SUCCESS) {
                return Read::event;
            }
            if (rc != -EAGAIN) {
                return Read::gone;  // ENODEV: unplugged; any other failure leaves it unusable
            }
            if (!syncing_) {
                return Read::drained;
            }
            syncing_ = false;
        }
    }

  private:
    int fd_;
    libevdev* evdev_;
    bool syncing_ = false;
};

}  // namespace

Opened openEvdev(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return {nullptr, errno};
    }
    libevdev* evdev = nullptr;
    if (const int rc = libevdev_new_from_fd(fd, &evdev); rc < 0) {
        close(fd);
        return {nullptr, -rc};
    }
    // Frame times are then comparable with the clock the end of a device is stamped with.
    libevdev_set_clock_id(evdev, CLOCK_MONOTONIC);
    return {std::make_unique<LibevdevDevice>(fd, evdev), 0};
}

EvdevMultitouch::EvdevMultitouch(std::unique_ptr<TouchpadWatch> watch, DeviceOpener open)
    : watch_(std::move(watch)), open_(std::move(open)) {}

EvdevMultitouch::~EvdevMultitouch() {
    stop();
    for (const int fd : wakePipe_) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

std::vector<TouchDevice> EvdevMultitouch::deviceList() {
    std::lock_guard lock(mutex_);
    if (!listed_ && !stopped_) {
        listed_ = true;
        for (const TouchpadNode& node : watch_->present()) {
            arrive(node);
        }
        if (pipe2(wakePipe_.data(), O_CLOEXEC | O_NONBLOCK) == 0) {
            reader_ = std::thread([this] { run(); });
            pthread_setname_np(reader_.native_handle(), "ombrel-touch");
        }
    }
    std::vector<TouchDevice> list;
    for (const auto& [id, device] : devices_) {
        list.push_back(id);
    }
    return list;
}

void EvdevMultitouch::registerFrameCallback(TouchDevice device, FrameCallback callback) {
    std::lock_guard lock(mutex_);
    if (auto it = devices_.find(device); it != devices_.end()) {
        it->second.callback = std::move(callback);
    }
}

void EvdevMultitouch::start(TouchDevice device) {
    std::lock_guard lock(mutex_);
    if (auto it = devices_.find(device); it != devices_.end()) {
        it->second.started = true;
    }
}

std::vector<std::string> EvdevMultitouch::unreadable() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const auto& node : unreadable_) {
        names.push_back(node.name.empty() ? node.path : node.name);
    }
    return names;
}

void EvdevMultitouch::watch(std::function<void()> changed) {
    std::lock_guard lock(mutex_);
    changed_ = std::move(changed);
}

void EvdevMultitouch::stop() {
    {
        std::lock_guard lock(mutex_);
        if (stopped_) {
            return;
        }
        stopped_ = true;
    }
    stopping_ = true;
    if (reader_.joinable()) {
        wake();
        reader_.join();
    }
}

bool EvdevMultitouch::arrive(const TouchpadNode& node) {
    const auto held = std::find_if(devices_.begin(), devices_.end(),
                                   [&](const auto& d) { return d.second.path == node.path; });
    if (held != devices_.end()) {
        return false;
    }
    const auto known = std::find_if(unreadable_.begin(), unreadable_.end(),
                                    [&](const TouchpadNode& n) { return n.path == node.path; });
    Opened opened = open_(node.path);
    if (opened.device) {
        if (known != unreadable_.end()) {
            unreadable_.erase(known);
        }
        const TouchpadCapabilities caps = opened.device->capabilities();
        const TouchpadState state = opened.device->state();
        devices_.emplace(
            nextId_++,
            Device{node.path, std::move(opened.device), TouchFrameBuilder(caps, state), {}, false});
        return true;
    }
    // Only a refusal is worth telling: any other failure is a node that went or is no pad.
    const bool refused = opened.error == EACCES || opened.error == EPERM;
    if (refused && known == unreadable_.end()) {
        unreadable_.push_back(node);
        return true;
    }
    if (!refused && known != unreadable_.end()) {
        unreadable_.erase(known);
        return true;
    }
    return false;
}

bool EvdevMultitouch::leave(const std::string& path) {
    const auto held = std::find_if(devices_.begin(), devices_.end(),
                                   [&](const auto& d) { return d.second.path == path; });
    if (held != devices_.end()) {
        // Fingers that were down lift with the device, so no contact is left behind.
        Device& device = held->second;
        device.builder.end(monotonicNow());
        if (device.started && device.callback) {
            device.callback(device.builder.frame(), device.builder.time());
        }
        devices_.erase(held);
        return true;
    }
    return std::erase_if(unreadable_, [&](const TouchpadNode& n) { return n.path == path; }) > 0;
}

bool EvdevMultitouch::readDevice(Device& device) {
    input_event event{};
    for (int i = 0; i < readBurst; ++i) {
        switch (device.events->next(event)) {
            case EventDevice::Read::drained:
                return true;
            case EventDevice::Read::gone:
                return false;
            case EventDevice::Read::event:
                break;
        }
        if (device.builder.feed(event) && device.started && device.callback) {
            device.callback(device.builder.frame(), device.builder.time());
        }
    }
    return true;
}

void EvdevMultitouch::run() {
    std::vector<pollfd> fds;
    std::vector<TouchDevice> ids;
    while (!stopping_) {
        fds.clear();
        ids.clear();
        fds.push_back({wakePipe_[0], POLLIN, 0});
        fds.push_back({watch_->fd(), POLLIN, 0});  // poll skips a negative descriptor
        {
            std::lock_guard lock(mutex_);
            for (const auto& [id, device] : devices_) {
                fds.push_back({device.events->fd(), POLLIN, 0});
                ids.push_back(id);
            }
        }
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[0].revents != 0) {
            continue;  // stopping
        }
        bool changed = false;
        {
            std::lock_guard lock(mutex_);
            if (fds[1].revents != 0) {
                for (const auto& change : watch_->changes()) {
                    changed |= change.present ? arrive(change.node) : leave(change.node.path);
                }
            }
            for (std::size_t i = 2; i < fds.size(); ++i) {
                const auto it = devices_.find(ids[i - 2]);
                if (fds[i].revents == 0 || it == devices_.end()) {
                    continue;  // quiet, or already gone through udev
                }
                const bool broken = (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
                if (!readDevice(it->second) || broken) {
                    changed |= leave(it->second.path);
                }
            }
        }
        if (changed) {
            notify();
        }
    }
}

void EvdevMultitouch::notify() {
    std::function<void()> changed;
    {
        std::lock_guard lock(mutex_);
        changed = changed_;
    }
    if (changed) {
        changed();
    }
}

void EvdevMultitouch::wake() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(wakePipe_[1], &byte, 1);
}

}  // namespace ombrel::linux_platform
