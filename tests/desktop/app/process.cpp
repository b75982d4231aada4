// Starting, feeding on and reaping child processes for the end-to-end tests.
#include "tests/desktop/app/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

extern char** environ;

namespace ombrel::testing_support {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> pointers(const std::vector<std::string>& strings) {
    std::vector<char*> result;
    result.reserve(strings.size() + 1);
    for (const auto& s : strings) {
        result.push_back(const_cast<char*>(s.c_str()));
    }
    result.push_back(nullptr);
    return result;
}

// Starts the program with its stdout and stderr on new pipes (err may be -1: not captured).
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, int* outFd,
            int* errFd, const std::filesystem::path& workingDirectory) {
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0) {
        return -1;
    }
    if (errFd != nullptr && pipe2(err, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (errFd != nullptr) {
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    }
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (!workingDirectory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    }
    pid_t pid = -1;
    auto args = pointers(argv);
    auto envp = pointers(env);
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (errFd != nullptr) {
        close(err[1]);
    }
    if (pid < 0) {
        close(out[0]);
        if (errFd != nullptr) {
            close(err[0]);
        }
        return -1;
    }
    *outFd = out[0];
    if (errFd != nullptr) {
        *errFd = err[0];
    }
    return pid;
}

// Reads what is there without blocking; answers false at end of file.
bool drain(int fd, std::string& into) {
    char buffer[4096];
    while (true) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0) {
            return false;
        }
        return errno == EAGAIN || errno == EINTR;
    }
}

int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

int exitStatusOf(int waitStatus) {
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
}

}  // namespace

Finished runToEnd(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                  std::chrono::milliseconds timeout,
                  const std::filesystem::path& workingDirectory) {
    Finished result;
    int outFd = -1;
    int errFd = -1;
    const pid_t pid = spawn(argv, env, &outFd, &errFd, workingDirectory);
    if (pid < 0) {
        return result;
    }
    fcntl(outFd, F_SETFL, O_NONBLOCK);
    fcntl(errFd, F_SETFL, O_NONBLOCK);
    const auto deadline = Clock::now() + timeout;
    bool outOpen = true;
    bool errOpen = true;
    while ((outOpen || errOpen) && remainingMs(deadline) > 0) {
        pollfd fds[2] = {{outOpen ? outFd : -1, POLLIN, 0}, {errOpen ? errFd : -1, POLLIN, 0}};
        poll(fds, 2, remainingMs(deadline));
        if (outOpen) {
            outOpen = drain(outFd, result.out);
        }
        if (errOpen) {
            errOpen = drain(errFd, result.err);
        }
    }
    close(outFd);
    close(errFd);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (remainingMs(deadline) == 0) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    result.status = exitStatusOf(status);
    return result;
}

Background::Background(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    pid_ = spawn(argv, env, &outFd_, nullptr, {});
    if (pid_ > 0) {
        fcntl(outFd_, F_SETFL, O_NONBLOCK);
    }
}

Background::~Background() {
    terminate();
    if (outFd_ >= 0) {
        close(outFd_);
    }
}

bool Background::waitForOutput(const std::function<bool(const std::string&)>& done,
                               std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (true) {
        if (outFd_ >= 0) {
            drain(outFd_, out_);
        }
        if (done(out_)) {
            return true;
        }
        if (remainingMs(deadline) == 0 || outFd_ < 0) {
            return false;
        }
        pollfd fd = {outFd_, POLLIN, 0};
        poll(&fd, 1, std::min(remainingMs(deadline), 50));
    }
}

bool Background::running() {
    if (pid_ <= 0 || reaped_) {
        return false;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        return false;
    }
    return true;
}

int Background::terminate() {
    if (pid_ <= 0 || reaped_) {
        return -1;
    }
    kill(pid_, SIGTERM);
    int status = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (remainingMs(deadline) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    reaped_ = true;
    return status;
}

std::vector<std::string> environmentWith(const std::vector<std::string>& remove,
                                         const std::vector<std::string>& add) {
    std::vector<std::string> result;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        const bool replaced = std::any_of(add.begin(), add.end(), [&](const std::string& a) {
            return a.substr(0, a.find('=')) == name;
        });
        if (!replaced && std::find(remove.begin(), remove.end(), name) == remove.end()) {
            result.push_back(entry);
        }
    }
    result.insert(result.end(), add.begin(), add.end());
    return result;
}

bool pollUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= deadline) {
            return condition();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace ombrel::testing_support
