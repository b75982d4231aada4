// A dbus-daemon of a test's or benchmark's own, so that it neither sees nor disturbs the user's
// session bus; its address goes into this process's environment for everything started later.
// Its socket lies in a folder of its own, removed with the object.
#pragma once

#include <sys/types.h>

#include <string>

namespace ombrel::xsession {

class PrivateBus {
  public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    [[nodiscard]] const std::string& address() const { return address_; }
    [[nodiscard]] pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    std::string folder_;
    std::string address_;
};

}  // namespace ombrel::xsession
