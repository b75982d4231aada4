// Touchpads as udev classifies them: listed from its database, followed through its monitor.
#include "platform/linux/udev_touchpads.h"

#include <libudev.h>
#include <sys/stat.h>

#include <cstring>

namespace ombrel::linux_platform {

namespace {

constexpr const char* touchpadKey = "ID_INPUT_TOUCHPAD";

bool isEventNode(udev_device* device) {
    const char* sysname = udev_device_get_sysname(device);
    return sysname != nullptr && std::strncmp(sysname, "event", 5) == 0 &&
           udev_device_get_devnode(device) != nullptr;
}

bool isTouchpad(udev_device* device) {
    const char* value = udev_device_get_property_value(device, touchpadKey);
    return value != nullptr && std::strcmp(value, "1") == 0;
}

TouchpadNode nodeOf(udev_device* device) {
    TouchpadNode node{udev_device_get_devnode(device), {}};
    // The event node's parent is the input device, which carries the kernel's name.
    if (udev_device* parent =
            udev_device_get_parent_with_subsystem_devtype(device, "input", nullptr)) {
        if (const char* name = udev_device_get_sysattr_value(parent, "name")) {
            node.name = name;
        }
    }
    return node;
}

class UdevTouchpads final : public TouchpadWatch {
  public:
    UdevTouchpads() : udev_(udev_new()) {
        if (udev_ == nullptr) {
            return;
        }
        monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
        if (monitor_ != nullptr &&
            (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "input", nullptr) < 0 ||
             udev_monitor_enable_receiving(monitor_) < 0)) {
            monitor_ = udev_monitor_unref(monitor_);
        }
    }
    ~UdevTouchpads() override {
        udev_monitor_unref(monitor_);
        udev_unref(udev_);
    }
    UdevTouchpads(const UdevTouchpads&) = delete;
    UdevTouchpads& operator=(const UdevTouchpads&) = delete;

    std::vector<TouchpadNode> present() override {
        std::vector<TouchpadNode> nodes;
        udev_enumerate* list = udev_ != nullptr ? udev_enumerate_new(udev_) : nullptr;
        if (list == nullptr) {
            return nodes;
        }
        udev_enumerate_add_match_subsystem(list, "input");
        udev_enumerate_add_match_property(list, touchpadKey, "1");
        udev_enumerate_add_match_sysname(list, "event*");
        udev_enumerate_scan_devices(list);
        for (udev_list_entry* e = udev_enumerate_get_list_entry(list); e != nullptr;
             e = udev_list_entry_get_next(e)) {
            udev_device* device = udev_device_new_from_syspath(udev_, udev_list_entry_get_name(e));
            if (device != nullptr && isEventNode(device)) {
                nodes.push_back(nodeOf(device));
            }
            udev_device_unref(device);
        }
        udev_enumerate_unref(list);
        return nodes;
    }

    [[nodiscard]] int fd() const override {
        return monitor_ != nullptr ? udev_monitor_get_fd(monitor_) : -1;
    }

    std::vector<Change> changes() override {
        std::vector<Change> out;
        while (udev_device* device =
                   monitor_ != nullptr ? udev_monitor_receive_device(monitor_) : nullptr) {
            const char* action = udev_device_get_action(device);
            const bool removed = action != nullptr && std::strcmp(action, "remove") == 0;
            // A removal is passed on whatever it says: the reader knows which nodes it holds.
            if (isEventNode(device) && (removed || isTouchpad(device))) {
                out.push_back({!removed, nodeOf(device)});
            }
            udev_device_unref(device);
        }
        return out;
    }

  private:
    udev* udev_;
    udev_monitor* monitor_ = nullptr;
};

}  // namespace

std::unique_ptr<TouchpadWatch> udevTouchpads() {
    return std::make_unique<UdevTouchpads>();
}

bool isTouchpadNode(const std::string& path) {
    // The node's device number finds it in udev's database, also when it cannot be opened.
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) {
        return false;
    }
    udev* u = udev_new();
    udev_device* device =
        u != nullptr ? udev_device_new_from_devnum(u, 'c', info.st_rdev) : nullptr;
    const bool touchpad = device != nullptr && isTouchpad(device);
    udev_device_unref(device);
    udev_unref(u);
    return touchpad;
}

}  // namespace ombrel::linux_platform
