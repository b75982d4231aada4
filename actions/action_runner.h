// Performs the action of a fired binding: window placements, system functions, keystrokes,
// applications, URLs and shell commands. Keeps no state between actions; failures are silent.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "actions/window_manager.h"
#include "config/model.h"
#include "platform/input.h"
#include "platform/workspace.h"

namespace ombrel {

class Notices;

class ActionRunner {
  public:
    ActionRunner(WindowManager& windows, EventPoster& poster, Workspace& workspace,
                 DesktopShell& shell, SystemPrograms programs);

    // Dispatches by the kind of the action. Runs on the main thread, never blocks.
    void run(const Action& action);

    // One press and one release with exactly the modifiers of the combination.
    void postKeystroke(const KeyCombo& combo);
    // Starts the program detached, output discarded, never waited for.
    void launchProcess(const std::string& executable, const std::vector<std::string>& arguments);
    // Opens the address, adding "https://" when it names no "://" scheme.
    void openURL(const std::string& text);
    void runShell(const std::string& command);

    void runSystem(SystemAction action);
    // A centre-button press and release at the pointer.
    void middleClick();

    // The address actually opened for what the user typed.
    [[nodiscard]] static std::string withScheme(std::string_view text);

    [[nodiscard]] const SystemPrograms& programs() const { return programs_; }

    // Where a system function that the desktop cannot perform says so ("lockScreen" and
    // "overview" topics); without it the failure stays silent.
    void setNotices(Notices* notices) { notices_ = notices; }

  private:
    void runDesktopShell(DesktopShell::Request request);
    void lockScreen();
    void media(DesktopShell::Player command, MediaKey key);
    void volume(DesktopShell::Volume change, MediaKey key);
    void say(const char* topic, const char* text);

    WindowManager& windows_;
    EventPoster& poster_;
    Workspace& workspace_;
    DesktopShell& shell_;
    SystemPrograms programs_;
    Notices* notices_ = nullptr;
};

}  // namespace ombrel
