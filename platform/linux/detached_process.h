// Starting programs that nobody waits for, without leaving zombies behind.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ombrel::linux_platform {

// The path of an executable: a name with a slash is taken as is, a bare name is looked up in
// PATH; nothing when no executable file is found.
std::optional<std::string> findExecutable(const std::string& name);

// Starts the program with these arguments (argv[0] is the program itself), standard output and
// error to the null device, standard input inherited. The program is handed to the system
// (double fork), so it is never this process's child: nothing to reap, nothing to wait for.
// False when it could not be started.
bool startDetached(const std::string& program, const std::vector<std::string>& arguments);

struct LaunchOptions {
    std::string workingDirectory;          // empty: this process's; one that fails starts nothing
    std::vector<std::string> environment;  // "NAME=value" entries set for the program
};
bool startDetached(const std::string& program, const std::vector<std::string>& arguments,
                   const LaunchOptions& options);

}  // namespace ombrel::linux_platform
