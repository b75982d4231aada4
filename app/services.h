// The composition root: creates every long-lived service of the running program once, in the
// order they depend on each other, and hands the application delegate what it needs.
#pragma once

#include <memory>

#include "app/app_delegate.h"

namespace ombrel {

class Store;

class Services {
  public:
    // Needs the Qt application and an X display.
    Services();
    ~Services();
    Services(const Services&) = delete;
    Services& operator=(const Services&) = delete;

    Store& store();
    // Ends the input thread and the action worker; call once the event loop has returned.
    void stop();
    // The engine start, the run targets, the tray glyph and the settings content.
    AppDelegate::Hooks delegateHooks();

  private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

// Runs the tray program in this process until it quits and answers the exit status. A start
// while another instance runs for this user asks that one to show its settings over the session
// bus, when there is one, and returns 0.
int runProgram();

}  // namespace ombrel
