// Connects the multitouch devices to the one consumer of their frames: frames are copied on the
// device's thread and handed out on the frames' thread, one task per frame.
#include "trackpad/trackpad_monitor.h"

#include <algorithm>

#include "config/notices.h"
#include "platform/log.h"

namespace ombrel {

namespace {

// Names the pads and gives the one step that lets the person at the seat read them.
std::string unreadableText(const std::vector<std::string>& names) {
    if (names.empty()) {
        return {};
    }
    std::string list;
    for (const auto& name : names) {
        list += (list.empty() ? "" : ", ") + ("\u201C" + name + "\u201D");
    }
    return (names.size() == 1 ? "The touchpad " + list + " was found but cannot be read."
                              : "The touchpads " + list + " were found but cannot be read.") +
           " To fix this, apply Ombrel's udev rule 70-ombrel-touchpad.rules with: sudo udevadm "
           "control --reload && sudo udevadm trigger";
}

}  // namespace

TrackpadMonitor::TrackpadMonitor(MultitouchSource& source, TaskQueue& frames, TaskQueue& devices,
                                 Notices* notices)
    : source_(source), frames_(frames), devicesQueue_(devices), notices_(notices) {}

TrackpadMonitor::~TrackpadMonitor() {
    source_.stop();
}

void TrackpadMonitor::start() {
    if (!watching_) {
        watching_ = true;
        source_.watch([this] { handOff(devicesQueue_, [](TrackpadMonitor& m) { m.refresh(); }); });
    }
    refresh();
}

void TrackpadMonitor::refresh() {
    const std::vector<TouchDevice> present = source_.deviceList();
    const std::size_t before = devices_.size();
    std::erase_if(devices_, [&](TouchDevice d) {
        return std::find(present.begin(), present.end(), d) == present.end();
    });
    bool changed = devices_.size() != before;
    for (const TouchDevice device : present) {
        if (std::find(devices_.begin(), devices_.end(), device) != devices_.end()) {
            continue;
        }
        source_.registerFrameCallback(device, [this](std::span<const TouchPoint> touching,
                                                     double time) { receive(touching, time); });
        source_.start(device);
        devices_.push_back(device);
        changed = true;
    }
    std::vector<std::string> unreadable = source_.unreadable();
    if (unreadable != unreadable_) {
        unreadable_ = std::move(unreadable);
        const std::string text = unreadableText(unreadable_);
        if (!text.empty()) {
            log::note(text);
        }
        if (notices_ != nullptr) {
            notices_->set("touchpad", text);
        }
        changed = true;
    }
    if (changed) {
        devicesChanged_.publish(0);
    }
}

void TrackpadMonitor::receive(std::span<const TouchPoint> touching, double time) {
    Frame frame;
    frame.count = std::min(touching.size(), maxContacts);
    std::copy_n(touching.begin(), frame.count, frame.points.begin());
    frame.time = time;
    // Every call posts exactly one frame, empty ones included: they tell the recognizer that
    // the fingers have lifted.
    handOff(frames_, [frame](TrackpadMonitor& m) { m.deliver(frame); });
}

void TrackpadMonitor::deliver(const Frame& frame) {
    if (frameHandler_) {
        frameHandler_(std::span<const TouchPoint>(frame.points.data(), frame.count), frame.time);
    }
}

}  // namespace ombrel
