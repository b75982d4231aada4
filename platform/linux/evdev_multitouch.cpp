// Finds touchpads among the input devices and reads their contacts on one thread.
#include "platform/linux/evdev_multitouch.h"

#include <dirent.h>
#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace ombrel::linux_platform {

namespace {

float fraction(int value, int min, int max) {
    if (max <= min) {
        return 0;
    }
    const float f = static_cast<float>(value - min) / static_cast<float>(max - min);
    return std::clamp(f, 0.0F, 1.0F);
}

// "event12" gives 12; anything else nothing.
std::optional<long> eventNumber(const char* name) {
    if (std::strncmp(name, "event", 5) != 0 || name[5] == '\0') {
        return std::nullopt;
    }
    long n = 0;
    for (const char* p = name + 5; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || n > 100000) {
            return std::nullopt;
        }
        n = n * 10 + (*p - '0');
    }
    return n;
}

}  // namespace

bool isTouchpad(const TouchCapabilities& caps) {
    return caps.multitouchX && caps.multitouchY && caps.pointer && !caps.direct;
}

std::vector<std::string> touchpadPaths(
    const std::string& folder,
    const std::function<std::optional<TouchCapabilities>(const std::string& path)>& probe) {
    std::vector<std::pair<long, std::string>> events;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (const auto n = eventNumber(entry->d_name)) {
                events.emplace_back(*n, folder + "/" + entry->d_name);
            }
        }
        closedir(dir);
    }
    std::sort(events.begin(), events.end());
    std::vector<std::string> out;
    for (const auto& [n, path] : events) {
        const auto caps = probe(path);
        if (caps && isTouchpad(*caps)) {
            out.push_back(path);
        }
    }
    return out;
}

TouchFrameBuilder::TouchFrameBuilder(AxisRange range) : range_(range) {}

void TouchFrameBuilder::reset() {
    for (auto& s : slots_) {
        s.trackingId = -1;
    }
    current_ = 0;
}

bool TouchFrameBuilder::feed(const input_event& e) {
    if (e.type == EV_ABS) {
        switch (e.code) {
            case ABS_MT_SLOT:
                current_ = e.value;
                break;
            case ABS_MT_TRACKING_ID:
                if (current_ >= 0 && current_ < maxSlots) {
                    slots_[static_cast<std::size_t>(current_)].trackingId = e.value;
                }
                break;
            case ABS_MT_POSITION_X:
                if (current_ >= 0 && current_ < maxSlots) {
                    slots_[static_cast<std::size_t>(current_)].x = e.value;
                }
                break;
            case ABS_MT_POSITION_Y:
                if (current_ >= 0 && current_ < maxSlots) {
                    slots_[static_cast<std::size_t>(current_)].y = e.value;
                }
                break;
            default:
                break;
        }
        return false;
    }
    if (e.type != EV_SYN || e.code != SYN_REPORT) {
        return false;
    }
    count_ = 0;
    for (const auto& s : slots_) {
        if (s.trackingId >= 0) {
            points_[count_++] = {fraction(s.x, range_.minX, range_.maxX),
                                 1.0F - fraction(s.y, range_.minY, range_.maxY)};
        }
    }
    time_ = static_cast<double>(e.input_event_sec) + static_cast<double>(e.input_event_usec) * 1e-6;
    return true;
}

void readFrames(int fd, AxisRange range, const FrameSink& sink) {
    TouchFrameBuilder builder(range);
    bool dropping = false;
    input_event e{};
    std::size_t have = 0;
    auto* bytes = reinterpret_cast<char*>(&e);
    for (;;) {
        const ssize_t n = read(fd, bytes + have, sizeof e - have);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        have += static_cast<std::size_t>(n);
        if (have < sizeof e) {
            continue;
        }
        have = 0;
        if (e.type == EV_SYN && e.code == SYN_DROPPED) {
            dropping = true;
            builder.reset();
            continue;
        }
        if (dropping) {
            dropping = !(e.type == EV_SYN && e.code == SYN_REPORT);
            continue;
        }
        if (builder.feed(e)) {
            sink(builder.frame(), builder.time());
        }
    }
}

EvdevMultitouch::EvdevMultitouch(std::string folder) : folder_(std::move(folder)) {}

EvdevMultitouch::~EvdevMultitouch() {
    if (reader_.joinable()) {
        stopping_ = true;
        wake();
        reader_.join();
    }
    for (int fd : wakePipe_) {
        if (fd >= 0) {
            close(fd);
        }
    }
    for (auto& [id, device] : devices_) {
        libevdev_free(device.evdev);
        close(device.fd);
    }
}

std::vector<TouchDevice> EvdevMultitouch::deviceList() {
    std::lock_guard lock(mutex_);
    std::vector<TouchDevice> list;
    // Devices already open are listed again, not opened twice.
    for (auto& [id, device] : devices_) {
        list.push_back(id);
    }
    if (!devices_.empty()) {
        return list;
    }
    std::map<std::string, std::pair<int, libevdev*>> opened;
    auto probe = [&](const std::string& path) -> std::optional<TouchCapabilities> {
        const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            return std::nullopt;  // no permission: not a device for us
        }
        libevdev* evdev = nullptr;
        if (libevdev_new_from_fd(fd, &evdev) != 0) {
            close(fd);
            return std::nullopt;
        }
        TouchCapabilities caps;
        caps.multitouchX = libevdev_has_event_code(evdev, EV_ABS, ABS_MT_POSITION_X) != 0;
        caps.multitouchY = libevdev_has_event_code(evdev, EV_ABS, ABS_MT_POSITION_Y) != 0;
        caps.pointer = libevdev_has_property(evdev, INPUT_PROP_POINTER) != 0;
        caps.direct = libevdev_has_property(evdev, INPUT_PROP_DIRECT) != 0;
        if (isTouchpad(caps)) {
            opened[path] = {fd, evdev};
        } else {
            libevdev_free(evdev);
            close(fd);
        }
        return caps;
    };
    for (const auto& path : touchpadPaths(folder_, probe)) {
        auto [fd, evdev] = opened.at(path);
        libevdev_set_clock_id(evdev, CLOCK_MONOTONIC);
        const AxisRange range{libevdev_get_abs_minimum(evdev, ABS_MT_POSITION_X),
                              libevdev_get_abs_maximum(evdev, ABS_MT_POSITION_X),
                              libevdev_get_abs_minimum(evdev, ABS_MT_POSITION_Y),
                              libevdev_get_abs_maximum(evdev, ABS_MT_POSITION_Y)};
        Device device;
        device.fd = fd;
        device.evdev = evdev;
        device.builder = std::make_unique<TouchFrameBuilder>(range);
        const TouchDevice id = nextId_++;
        devices_.emplace(id, std::move(device));
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
    {
        std::lock_guard lock(mutex_);
        auto it = devices_.find(device);
        if (it == devices_.end() || it->second.started) {
            return;
        }
        it->second.started = true;
        if (!reader_.joinable()) {
            if (pipe2(wakePipe_.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
                it->second.started = false;
                return;
            }
            reader_ = std::thread([this] { run(); });
            return;
        }
    }
    wake();  // the reader picks up the new device
}

void EvdevMultitouch::wake() {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(wakePipe_[1], &byte, 1);
}

void EvdevMultitouch::run() {
    std::vector<pollfd> fds;
    std::vector<TouchDevice> ids;
    while (!stopping_) {
        fds.clear();
        ids.clear();
        fds.push_back({wakePipe_[0], POLLIN, 0});
        {
            std::lock_guard lock(mutex_);
            for (auto& [id, device] : devices_) {
                if (device.started && device.fd >= 0) {
                    fds.push_back({device.fd, POLLIN, 0});
                    ids.push_back(id);
                }
            }
        }
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[0].revents != 0) {
            char drain[64];
            while (read(wakePipe_[0], drain, sizeof drain) > 0) {
            }
            continue;  // rebuild the set: a device was added, or we are stopping
        }
        std::lock_guard lock(mutex_);
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            Device& device = devices_.at(ids[i - 1]);
            if (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) {
                device.started = false;  // unplugged: stop polling it
                continue;
            }
            readDevice(device);
        }
    }
}

void EvdevMultitouch::readDevice(Device& device) {
    input_event e{};
    unsigned flag = LIBEVDEV_READ_FLAG_NORMAL;
    for (;;) {
        const int rc = libevdev_next_event(device.evdev, flag, &e);
        if (rc == LIBEVDEV_READ_STATUS_SYNC) {
            // Events were dropped: libevdev replays the device's current state as events.
            flag = LIBEVDEV_READ_FLAG_SYNC;
        } else if (rc == -EAGAIN && flag == LIBEVDEV_READ_FLAG_SYNC) {
            flag = LIBEVDEV_READ_FLAG_NORMAL;
            continue;
        } else if (rc != LIBEVDEV_READ_STATUS_SUCCESS) {
            if (rc != -EAGAIN) {
                device.started = false;
            }
            return;
        }
        if (device.builder->feed(e) && device.callback) {
            device.callback(device.builder->frame(), device.builder->time());
        }
    }
}

}  // namespace ombrel::linux_platform
