#include "private_bus.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>

namespace ombrel::xsession {

PrivateBus::PrivateBus() {
    int fds[2];
    if (pipe(fds) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::array<std::string, 4> argv = {"dbus-daemon", "--session", "--nofork", "--print-address=1"};
    std::array<char*, 5> args = {argv[0].data(), argv[1].data(), argv[2].data(), argv[3].data(),
                                 nullptr};
    if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    char c = 0;
    while (pid_ > 0 && read(fds[0], &c, 1) == 1 && c != '\n') {
        address_.push_back(c);
    }
    close(fds[0]);
    if (!address_.empty()) {
        setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
    }
}

PrivateBus::~PrivateBus() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

}  // namespace ombrel::xsession
