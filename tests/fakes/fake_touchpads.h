// Touchpads without hardware: their events pass through a pipe as the kernel hands them over,
// and a stand-in for udev says which pads there are and which arrive or leave.
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

using linux_platform::EventDevice;
using linux_platform::TouchpadNode;

class PipeTouchpad final : public EventDevice {
  public:
    PipeTouchpad(int fd, linux_platform::TouchpadCapabilities caps) : fd_(fd), caps_(caps) {}
    ~PipeTouchpad() override { close(fd_); }
    PipeTouchpad(const PipeTouchpad&) = delete;
    PipeTouchpad& operator=(const PipeTouchpad&) = delete;

    [[nodiscard]] int fd() const override { return fd_; }
    [[nodiscard]] linux_platform::TouchpadCapabilities capabilities() const override {
        return caps_;
    }
    [[nodiscard]] linux_platform::TouchpadState state() const override { return {}; }
    Read next(input_event& event) override {
        const ssize_t n = read(fd_, &event, sizeof event);
        if (n == static_cast<ssize_t>(sizeof event)) {
            return Read::event;
        }
        return n < 0 && errno == EAGAIN ? Read::drained : Read::gone;  // closed: unplugged
    }

  private:
    int fd_;
    linux_platform::TouchpadCapabilities caps_;
};

class FakeTouchpadWatch final : public linux_platform::TouchpadWatch {
  public:
    explicit FakeTouchpadWatch(std::vector<TouchpadNode> present = {})
        : present_(std::move(present)) {
        [[maybe_unused]] const int rc = pipe2(wake_.data(), O_NONBLOCK | O_CLOEXEC);
    }
    ~FakeTouchpadWatch() override {
        close(wake_[0]);
        close(wake_[1]);
    }
    FakeTouchpadWatch(const FakeTouchpadWatch&) = delete;
    FakeTouchpadWatch& operator=(const FakeTouchpadWatch&) = delete;

    // As udev's monitor would: present false for a removal.
    void announce(bool present, TouchpadNode node) {
        std::lock_guard lock(mutex_);
        pending_.push_back({present, std::move(node)});
        [[maybe_unused]] const ssize_t n = write(wake_[1], "x", 1);
    }
    std::vector<TouchpadNode> present() override { return present_; }
    [[nodiscard]] int fd() const override { return wake_[0]; }
    std::vector<Change> changes() override {
        std::lock_guard lock(mutex_);
        char drain[16];
        while (read(wake_[0], drain, sizeof drain) > 0) {
        }
        return std::exchange(pending_, {});
    }

  private:
    std::vector<TouchpadNode> present_;
    std::array<int, 2> wake_{-1, -1};
    std::mutex mutex_;
    std::vector<Change> pending_;
};

// Opens every path as a pipe whose writing end it keeps, except the refused ones (EACCES).
class FakeOpener {
  public:
    explicit FakeOpener(linux_platform::TouchpadCapabilities caps) : caps_(caps) {}
    ~FakeOpener() {
        for (const auto& [path, fd] : writers_) {
            close(fd);
        }
    }
    FakeOpener(const FakeOpener&) = delete;
    FakeOpener& operator=(const FakeOpener&) = delete;

    linux_platform::DeviceOpener opener() {
        return [this](const std::string& path) { return open(path); };
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
    // The device goes: its reader sees the end of the stream, as with ENODEV.
    void unplug(const std::string& path) {
        std::lock_guard lock(mutex_);
        close(writers_.at(path));
        writers_.erase(path);
    }

  private:
    linux_platform::Opened open(const std::string& path) {
        std::lock_guard lock(mutex_);
        std::array<int, 2> fds{};
        if (refused_.contains(path) || pipe2(fds.data(), O_NONBLOCK | O_CLOEXEC) != 0) {
            return {nullptr, EACCES};
        }
        writers_[path] = fds[1];
        return {std::make_unique<PipeTouchpad>(fds[0], caps_), 0};
    }

    linux_platform::TouchpadCapabilities caps_;
    std::mutex mutex_;
    std::set<std::string> refused_;
    std::map<std::string, int> writers_;
};

}  // namespace ombrel::fake
