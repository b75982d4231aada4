// A settings file changed by another program (an editor, a dotfile manager, git) while Ombrel
// runs: applied when it reads as settings, otherwise explained on the General pane.
#pragma once

#include <string_view>

#include "config/observable.h"

namespace ombrel {
class Notices;
class Store;
}  // namespace ombrel

namespace ombrel::app {

// The General pane's topic for a changed settings file that could not be applied.
inline constexpr std::string_view settingsFileTopic = "settingsFile";

class SettingsFileFollower {
  public:
    SettingsFileFollower(Store& store, Notices& notices);

    // Call when the settings file may have changed; the program's own saves change nothing.
    void fileMayHaveChanged();

  private:
    Store& store_;
    Notices& notices_;
    // Any assignment writes the file afresh, so a sentence about a broken file is out of date.
    Subscription assigned_;
};

}  // namespace ombrel::app
