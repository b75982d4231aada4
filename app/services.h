// The composition root: creates every long-lived service of the running program once, in the
// order they depend on each other, and hands the application delegate what it needs. The program
// and the tests that run it whole build it the same way; only the settings folder and the machine
// differ.
#pragma once

#include <filesystem>
#include <memory>

#include "app/app_delegate.h"
#include "app/threads.h"

namespace ombrel {

class QtSnapOverlay;
class Store;

class Services {
  public:
    struct Setup {
        std::filesystem::path settingsFolder{};  // empty: the user's
        app::Desktop desktop{};
    };

    // Needs the Qt application and an X display. The first is the user's program.
    Services();
    explicit Services(Setup setup);
    ~Services();
    Services(const Services&) = delete;
    Services& operator=(const Services&) = delete;

    Store& store();
    // Starts the input thread with the engine, and says on the General pane what input lacks.
    void start();
    // Ends the input thread and the action worker and puts the last change on disk; call once
    // the event loop has returned.
    void stop();
    // The engine start, the run targets, the tray glyph and the settings content.
    AppDelegate::Hooks delegateHooks();

    // The running parts (tests and benchmarks).
    app::Threads& threads();
    QtSnapOverlay& snapOverlay();

  private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

// Runs the tray program in this process until it quits and answers the exit status. A start
// while another instance runs for this user asks that one to show its settings over the session
// bus, when there is one, and returns 0.
int runProgram();

}  // namespace ombrel
