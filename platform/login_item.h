// "Open Ombrel at login": whether the program starts with the user's session, and switching it.
#pragma once

#include <optional>
#include <string>

namespace ombrel {

class LoginItem {
  public:
    virtual ~LoginItem() = default;
    // Whether the program starts at login now.
    [[nodiscard]] virtual bool enabled() const = 0;
    // Turns it on or off; the error's text when that failed, nothing on success.
    virtual std::optional<std::string> setEnabled(bool on) = 0;
};

}  // namespace ombrel
