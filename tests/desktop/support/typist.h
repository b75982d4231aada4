// A client that types on the user's keyboard (the server's own keyboard device, driven through
// XTEST from this connection) into a window, and times how long each key takes to arrive there:
// a key typed while a grabbed one waits for its answer arrives only once the keyboard thaws.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XInput.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ombrel::xsession {

// The id of the input device of that name (a master pointer too), or 0.
XID deviceId(Display* d, const std::string& name);
// The server's own keyboard device ("Xvfb keyboard"), opened for XTEST; null when there is none.
XDevice* openKeyboard(Display* d);

class Typist {
  public:
    // Its own connection to the display named by DISPLAY.
    Typist();
    ~Typist();
    Typist(const Typist&) = delete;
    Typist& operator=(const Typist&) = delete;

    [[nodiscard]] bool ready() const { return display_ != nullptr && keyboard_ != nullptr; }
    [[nodiscard]] Display* display() const { return display_; }
    // The key code of a keysym name ("z", "Left", "Control_L").
    unsigned code(const char* keysymName) const;

    // Watches the window and every window inside it (an xterm types into a child window), with
    // those watched already. Top-level windows made from now on are watched as they appear.
    void watch(Window window);
    // Presses or releases a key of the user's keyboard.
    void key(unsigned keycode, bool down);
    // Presses the modifiers, taps the key and releases the modifiers, in reverse order.
    void chord(const std::vector<unsigned>& modifiers, unsigned keycode);
    // Taps the key and answers how many milliseconds its press took to reach the watched
    // window; nothing when it did not within the patience.
    std::optional<double> timedTap(unsigned keycode, std::chrono::milliseconds patience,
                                   const std::function<void()>& pump = {});
    // Whether a press of the key reached the watched window since forget().
    bool arrived(unsigned keycode);
    void forget();

  private:
    // Takes the presses that arrived; true when one of keycode was among them.
    bool collect(unsigned keycode);
    Display* display_ = nullptr;
    void* keyboard_ = nullptr;  // XDevice of the server's keyboard
    std::vector<unsigned> seen_;
};

}  // namespace ombrel::xsession
