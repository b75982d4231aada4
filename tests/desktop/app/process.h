// Test helper: starts programs with a chosen environment, collects their output, waits with a
// deadline and never leaves a child behind.
#pragma once

#include <sys/types.h>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace ombrel::testing_support {

struct Finished {
    int status = -1;  // exit status, or -1 when it did not exit normally
    bool timedOut = false;
    std::string out;
    std::string err;
};

// Runs the program to its end (killed at the deadline) with exactly this environment.
Finished runToEnd(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                  std::chrono::milliseconds timeout,
                  const std::filesystem::path& workingDirectory = {});

// A program that runs beside the test; terminated and reaped when the object goes.
class Background {
  public:
    Background(const std::vector<std::string>& argv, const std::vector<std::string>& env);
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;
    ~Background();

    [[nodiscard]] bool started() const { return pid_ > 0; }
    // Reads what the program has written to its standard output so far, waiting up to the
    // deadline until the predicate holds for it. Answers whether it did.
    bool waitForOutput(const std::function<bool(const std::string&)>& done,
                       std::chrono::milliseconds timeout);
    [[nodiscard]] const std::string& output() const { return out_; }
    // Answers whether the program is still running.
    bool running();
    // Sends SIGTERM and waits for the end; answers the raw wait status.
    int terminate();

  private:
    pid_t pid_ = -1;
    int outFd_ = -1;
    std::string out_;
    bool reaped_ = false;
};

// The current environment without the named variables, plus the given NAME=value entries.
std::vector<std::string> environmentWith(const std::vector<std::string>& remove,
                                         const std::vector<std::string>& add);

// Polls the condition until it holds or the deadline passes; answers the last result.
bool pollUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

}  // namespace ombrel::testing_support
