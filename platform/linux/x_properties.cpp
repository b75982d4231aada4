// Reads 32-bit window properties and WM_CLASS.
#include "platform/linux/x_properties.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

namespace ombrel::linux_platform {

std::optional<std::vector<long>> readLongs(Display* display, Window window, Atom property,
                                           long limit) {
    if (display == nullptr || window == None || property == None) {
        return std::nullopt;
    }
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, limit, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) != Success) {
        return std::nullopt;
    }
    std::optional<std::vector<long>> out;
    if (type != None && format == 32 && data != nullptr) {
        // Xlib hands 32-bit items over as longs.
        const long* values = reinterpret_cast<const long*>(data);
        out.emplace(values, values + count);
    }
    if (data != nullptr) {
        XFree(data);
    }
    return out;
}

std::optional<long> readLong(Display* display, Window window, Atom property) {
    auto values = readLongs(display, window, property, 1);
    if (!values || values->empty()) {
        return std::nullopt;
    }
    return values->front();
}

std::optional<std::string> readClass(Display* display, Window window) {
    auto hint = readClassHint(display, window);
    return hint ? std::optional<std::string>(std::move(hint->windowClass)) : std::nullopt;
}

std::optional<ClassHint> readClassHint(Display* display, Window window) {
    if (display == nullptr || window == None) {
        return std::nullopt;
    }
    XClassHint hint{};
    if (XGetClassHint(display, window, &hint) == 0) {
        return std::nullopt;
    }
    std::optional<ClassHint> out;
    if (hint.res_class != nullptr) {
        out = ClassHint{hint.res_name != nullptr ? hint.res_name : "", hint.res_class};
    }
    if (hint.res_name != nullptr) {
        XFree(hint.res_name);
    }
    if (hint.res_class != nullptr) {
        XFree(hint.res_class);
    }
    return out;
}

}  // namespace ombrel::linux_platform
