// Double-forks programs so they run on their own, output discarded.
#include "platform/linux/detached_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>

extern char** environ;  // NOLINT: the process environment, read before forking

namespace ombrel::linux_platform {

namespace {

bool isExecutableFile(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::optional<std::string> findExecutable(const std::string& name) {
    if (name.empty()) {
        return std::nullopt;
    }
    if (name.find('/') != std::string::npos) {
        return isExecutableFile(name) ? std::optional<std::string>(name) : std::nullopt;
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = dirs.find(':', start);
        const std::string_view dir =
            std::string_view(dirs).substr(start, end == std::string::npos ? end : end - start);
        // An empty entry means the current directory.
        std::string candidate(dir.empty() ? std::string_view(".") : dir);
        candidate += '/';
        candidate += name;
        if (isExecutableFile(candidate)) {
            return candidate;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return std::nullopt;
}

bool startDetached(const std::string& program, const std::vector<std::string>& arguments) {
    return startDetached(program, arguments, {});
}

bool startDetached(const std::string& program, const std::vector<std::string>& arguments,
                   const LaunchOptions& options) {
    const auto path = findExecutable(program);
    if (!path) {
        return false;
    }
    // Everything the children need is made before forking: after fork only async-signal-safe
    // calls are allowed in a threaded process.
    std::vector<std::string> strings;
    strings.reserve(arguments.size() + 1);
    strings.push_back(program);
    strings.insert(strings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(strings.size() + 1);
    for (auto& s : strings) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);
    const char* file = path->c_str();
    // The environment: ours, less the names the options set, then theirs.
    std::vector<char*> envp;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        const std::string_view entry(*e);
        const bool replaced = std::any_of(
            options.environment.begin(), options.environment.end(), [&](const std::string& o) {
                const std::size_t eq = o.find('=');
                return eq != std::string::npos && entry.substr(0, eq + 1) == o.substr(0, eq + 1);
            });
        if (!replaced) {
            envp.push_back(*e);
        }
    }
    std::vector<std::string> added = options.environment;
    for (auto& a : added) {
        envp.push_back(a.data());
    }
    envp.push_back(nullptr);
    const char* directory =
        options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str();
    sigset_t none;
    sigemptyset(&none);

    const pid_t middle = fork();
    if (middle < 0) {
        return false;
    }
    if (middle == 0) {
        setsid();
        const pid_t child = fork();
        if (child == 0) {
            const int null = open("/dev/null", O_WRONLY);
            if (null >= 0) {
                dup2(null, STDOUT_FILENO);
                dup2(null, STDERR_FILENO);
                if (null > STDERR_FILENO) {
                    close(null);
                }
            }
            sigprocmask(SIG_SETMASK, &none, nullptr);
            if (directory != nullptr && chdir(directory) != 0) {
                _exit(127);
            }
            execve(file, argv.data(), envp.data());
            _exit(127);
        }
        _exit(child < 0 ? 1 : 0);
    }
    // The middle process ends at once; reaping it here leaves no zombie.
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace ombrel::linux_platform
