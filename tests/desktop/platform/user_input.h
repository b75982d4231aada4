// Stands in for the user's keyboard and mouse: a second master device pair whose XTEST devices
// are not the ones the program posts through, so the tap treats their events as the user's.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XInput.h>

#include <initializer_list>

namespace ombrel::platform_test {

class UserInput {
  public:
    explicit UserInput(Display* display);
    ~UserInput();
    UserInput(const UserInput&) = delete;
    UserInput& operator=(const UserInput&) = delete;

    [[nodiscard]] bool ready() const { return keyboard_ != nullptr && pointer_ != nullptr; }
    // Gives the user's keyboard focus to the window and puts the user's pointer at (x, y).
    void focus(Window window);
    void movePointer(int x, int y);

    void key(unsigned keycode, bool down);
    // Presses the modifiers, taps the key, releases in reverse order.
    void tap(unsigned keycode, std::initializer_list<unsigned> modifiers = {});
    void button(unsigned button, bool down);
    void click(unsigned button);
    void flush();

  private:
    Display* display_;
    int masterKeyboard_ = -1;
    int masterPointer_ = -1;
    XDevice* keyboard_ = nullptr;
    XDevice* pointer_ = nullptr;
};

}  // namespace ombrel::platform_test
