// Global keyboard and mouse input on X11: synchronous passive grabs for what may be swallowed,
// raw events for everything else, translated into the events the engine decides on.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <bitset>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/input.h"
#include "platform/linux/x_connection.h"

namespace ombrel::linux_platform {

// Engine button numbers (0 left, 1 right, 2 middle, 3 back, 4 forward, ...) and X buttons
// (1 left, 2 middle, 3 right, 4-7 wheel, 8 back, 9 forward, ...); the wheel has no number.
std::optional<unsigned> xButtonFromEngine(int64_t button);
std::optional<int64_t> engineButtonFromX(unsigned button);
// The four modifier flags of an X modifier mask; lock, num lock and the rest are dropped.
uint64_t flagsFromXMods(unsigned mods);
// The X modifier mask of a combination's modifiers; nothing when it holds other bits.
std::optional<unsigned> xModsFromMods(Mods mods);

class X11EventTap : public EventTap {
  public:
    explicit X11EventTap(XConnection& connection);
    ~X11EventTap() override;
    X11EventTap(const X11EventTap&) = delete;
    X11EventTap& operator=(const X11EventTap&) = delete;

    bool trusted() override;
    bool install(Handler handler) override;
    void reenable() override;
    void setGrabs(const GrabRequest& request) override;

  private:
    struct KeyGrab {
        unsigned keycode = 0;
        unsigned mods = 0;
        friend bool operator==(const KeyGrab&, const KeyGrab&) = default;
    };

    void onEvent(XEvent& event);
    void findDevices();
    void selectEvents();
    void placeGrabs();
    void removeGrabs();
    void placeKeyGrabs();
    void placeButtonGrabs();
    void removeKeyGrabs();
    void removeButtonGrabs();
    void onGrabbedKey(const XIDeviceEvent& e);
    void onGrabbedButton(const XIDeviceEvent& e, bool press);
    void onRawKey(const XIRawEvent& e, bool press);
    void onRawButton(const XIRawEvent& e, bool press);
    void onRawMotion(const XIRawEvent& e);
    void onModifierState(unsigned mods);
    [[nodiscard]] bool keyIsGrabbed(unsigned keycode, unsigned mods) const;
    [[nodiscard]] bool buttonIsGrabbed(unsigned button) const;
    Point pointer();
    // Hands the event to the handler; an exception counts as "let it through".
    bool decide(const InputEvent& event) noexcept;

    XConnection& x_;
    Handler handler_;
    bool installed_ = false;
    GrabRequest request_;
    std::vector<KeyGrab> keyGrabs_;
    std::vector<unsigned> buttonGrabs_;
    std::vector<int> masterKeyboards_;
    std::vector<int> masterPointers_;
    int xtestKeyboard_ = -1;
    int xtestPointer_ = -1;
    std::bitset<256> pressedByXTest_;
    std::bitset<256> modifierKeys_;
    bool grabsPlaced_ = false;
    std::bitset<32> buttonsSwallowed_;  // X buttons whose press we kept: their release is ours
    bool leftDown_ = false;
    unsigned mods_ = 0;
    uint64_t flags_ = 0;
};

}  // namespace ombrel::linux_platform
