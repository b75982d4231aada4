// Reads the touchpad driver's settings from its X device properties.
#include "platform/linux/libinput_props.h"

#include <X11/Xatom.h>
#include <X11/extensions/XInput2.h>

namespace ombrel::linux_platform {

namespace {

enum : std::size_t { deviceNodeAtom, tappingAtom, tapMapAtom, clickMethodAtom };

bool on(const std::optional<std::vector<uint8_t>>& values, std::size_t i) {
    return values && values->size() > i && (*values)[i] != 0;
}

}  // namespace

TouchpadDriver driverFrom(const DriverProperties& properties) {
    TouchpadDriver driver;
    if (properties.tapping && !properties.tapping->empty()) {
        using Taps = TouchpadDriver::Taps;
        // A driver too old to offer another mapping taps left, right, middle.
        driver.taps = !on(properties.tapping, 0) ? Taps::off
                      : on(properties.tapMap, 1) ? Taps::leftMiddleRight
                                                 : Taps::leftRightMiddle;
    }
    if (properties.clickMethod && properties.clickMethod->size() >= 2) {
        using Clicks = TouchpadDriver::Clicks;
        driver.clicks = on(properties.clickMethod, 1)   ? Clicks::clickfinger
                        : on(properties.clickMethod, 0) ? Clicks::buttonAreas
                                                        : Clicks::none;
    }
    return driver;
}

TouchpadDriver combine(const TouchpadDriver& a, const TouchpadDriver& b) {
    TouchpadDriver both;
    both.found = a.found || b.found;
    both.taps = a.taps == b.taps ? a.taps : TouchpadDriver::Taps::unknown;
    both.clicks = a.clicks == b.clicks ? a.clicks : TouchpadDriver::Clicks::unknown;
    return both;
}

LibinputProperties::LibinputProperties(Display* display) : display_(display) {
    std::array<char*, 4> names = {const_cast<char*>("Device Node"),
                                  const_cast<char*>("libinput Tapping Enabled"),
                                  const_cast<char*>("libinput Tapping Button Mapping Enabled"),
                                  const_cast<char*>("libinput Click Method Enabled")};
    if (display_ != nullptr) {
        XInternAtoms(display_, names.data(), static_cast<int>(names.size()), False, atoms_.data());
    }
}

bool LibinputProperties::concerns(Atom property) const {
    return property != None && (property == atoms_[tappingAtom] || property == atoms_[tapMapAtom] ||
                                property == atoms_[clickMethodAtom]);
}

DriverProperties LibinputProperties::read(int device) const {
    return {bytes(device, atoms_[tappingAtom]), bytes(device, atoms_[tapMapAtom]),
            bytes(device, atoms_[clickMethodAtom])};
}

std::optional<std::string> LibinputProperties::deviceNode(int device) const {
    auto node = bytes(device, atoms_[deviceNodeAtom]);
    if (!node) {
        return std::nullopt;
    }
    return std::string(node->begin(), node->end());
}

std::optional<std::vector<uint8_t>> LibinputProperties::bytes(int device, Atom property) const {
    if (display_ == nullptr || property == None) {
        return std::nullopt;
    }
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    // Settings are a few bytes, a device node a short path.
    constexpr long longest = 64;  // in 32-bit units
    if (XIGetProperty(display_, device, property, 0, longest, False, AnyPropertyType, &type,
                      &format, &count, &after, &data) != Success) {
        return std::nullopt;
    }
    std::optional<std::vector<uint8_t>> values;
    if (type != None && format == 8 && data != nullptr) {
        values.emplace(data, data + count);
    }
    if (data != nullptr) {
        XFree(data);
    }
    return values;
}

}  // namespace ombrel::linux_platform
