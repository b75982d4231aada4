// Touchpads without hardware, for the reader: the test plays udev's part (which pads there are,
// which arrive or leave) and each pad is a pipe of raw input_event records, as the kernel hands
// them over. Closing the pipe unplugs the pad.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/evdev_multitouch.h"

namespace ombrel::fake {

using linux_platform::TouchpadCapabilities;
using linux_platform::TouchpadNode;
using linux_platform::TouchpadWatch;

struct PipeTouchpad final : linux_platform::EventDevice {
    PipeTouchpad(int fd, TouchpadCapabilities caps) : pipe(fd), caps(caps) {}
    ~PipeTouchpad() override { close(pipe); }
    [[nodiscard]] int fd() const override { return pipe; }
    [[nodiscard]] TouchpadCapabilities capabilities() const override { return caps; }
    [[nodiscard]] linux_platform::TouchpadState state() const override { return {}; }
    Read next(input_event& event) override {
        const ssize_t n = read(pipe, &event, sizeof event);
        return n == sizeof event          ? Read::event
               : n < 0 && errno == EAGAIN ? Read::drained
                                          : Read::gone;
    }
    int pipe;
    TouchpadCapabilities caps;
};

class FakeTouchpads {
  public:
    explicit FakeTouchpads(TouchpadCapabilities caps, std::vector<TouchpadNode> present = {})
        : caps_(caps), present_(std::move(present)) {
        [[maybe_unused]] const int rc = pipe2(wake_.data(), O_NONBLOCK | O_CLOEXEC);
    }
    ~FakeTouchpads() {
        for (const int fd : wake_) {
            close(fd);
        }
        for (const auto& [path, fd] : writers_) {
            close(fd);
        }
    }
    FakeTouchpads(const FakeTouchpads&) = delete;
    FakeTouchpads& operator=(const FakeTouchpads&) = delete;

    // What the reader is given in place of udev and of opening a node.
    std::unique_ptr<TouchpadWatch> watch() { return std::make_unique<Watch>(*this); }
    linux_platform::DeviceOpener opener() {
        return [this](const std::string& path) -> linux_platform::Opened {
            std::lock_guard lock(mutex_);
            std::array<int, 2> fds{};
            if (refused_.contains(path) || pipe2(fds.data(), O_NONBLOCK | O_CLOEXEC) != 0) {
                return {nullptr, EACCES};
            }
            writers_[path] = fds[1];
            return {std::make_unique<PipeTouchpad>(fds[0], caps_), 0};
        };
    }

    // As udev's monitor would say it: present false for a removal.
    void announce(bool present, TouchpadNode node) {
        std::lock_guard lock(mutex_);
        pending_.push_back({present, std::move(node)});
        [[maybe_unused]] const ssize_t n = write(wake_[1], "x", 1);
    }
    void refuse(const std::string& path, bool refused) {
        std::lock_guard lock(mutex_);
        refused ? (void)refused_.insert(path) : (void)refused_.erase(path);
    }
    void send(const std::string& path, const std::vector<input_event>& events) {
        std::lock_guard lock(mutex_);
        [[maybe_unused]] const ssize_t n =
            write(writers_.at(path), events.data(), events.size() * sizeof(input_event));
    }
    void unplug(const std::string& path) {
        std::lock_guard lock(mutex_);
        close(writers_.at(path));
        writers_.erase(path);
    }

  private:
    struct Watch final : TouchpadWatch {
        explicit Watch(FakeTouchpads& pads) : pads(pads) {}
        std::vector<TouchpadNode> present() override { return pads.present_; }
        [[nodiscard]] int fd() const override { return pads.wake_[0]; }
        std::vector<Change> changes() override {
            std::lock_guard lock(pads.mutex_);
            std::array<char, 16> drain{};
            while (read(pads.wake_[0], drain.data(), drain.size()) > 0) {
            }
            return std::exchange(pads.pending_, {});
        }
        FakeTouchpads& pads;
    };

    TouchpadCapabilities caps_;
    std::vector<TouchpadNode> present_;
    std::array<int, 2> wake_{-1, -1};
    std::mutex mutex_;
    std::vector<TouchpadWatch::Change> pending_;
    std::set<std::string> refused_;
    std::map<std::string, int> writers_;
};

}  // namespace ombrel::fake
