// The session's media players (MPRIS): play/pause, next and previous go to the player the user
// is listening to rather than to whichever application has the focus.
#pragma once

#include <memory>
#include <string>

#include "platform/workspace.h"

namespace ombrel::linux_platform {

class MprisPlayers {
  public:
    // Watches the players on the named session bus connection (empty: the user's).
    explicit MprisPlayers(const std::string& busName = {});
    ~MprisPlayers();
    MprisPlayers(const MprisPlayers&) = delete;
    MprisPlayers& operator=(const MprisPlayers&) = delete;

    // Sends the command to the playing player, else to the most recently active one; false
    // when no player is on the bus.
    bool send(DesktopShell::Player command);

  private:
    class Watcher;
    std::unique_ptr<Watcher> watcher_;
};

}  // namespace ombrel::linux_platform
