// Starts the shared X session, session bus, settings folder and Qt application of the shell
// tests, and stops them in reverse order when the tests end.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <memory>

// Last: the X session brings Xlib, whose macros collide with Qt and GoogleTest names.
#include "private_bus.h"
#include "shell_env.h"

extern char** environ;

namespace ombrel::shell_test {

namespace {

pid_t spawn(const std::vector<std::string>& argv, posix_spawn_file_actions_t* actions) {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], actions, nullptr, args.data(), environ) != 0) {
        return -1;
    }
    return pid;
}

struct Shared {
    std::unique_ptr<xsession::XSession> session;
    std::unique_ptr<xsession::PrivateBus> bus;
    std::filesystem::path configHome;
    std::unique_ptr<QApplication> app;
};

Shared& shared() {
    static Shared s;
    return s;
}

// Builds everything before the first test and tears it down after the last, in reverse order,
// while the process is still whole (a QApplication must not outlive its display).
class Environment : public ::testing::Environment {
  public:
    void SetUp() override {
        Shared& s = shared();
        s.session = std::make_unique<xsession::XSession>(xsession::twoMonitors());
        s.bus = std::make_unique<xsession::PrivateBus>();
        char pattern[] = "/tmp/ombrel-shell-XXXXXX";
        if (const char* made = mkdtemp(pattern)) {
            s.configHome = made;
            setenv("XDG_CONFIG_HOME", made, 1);
            // Qt wants a private runtime folder; the session has none.
            const auto runtime = s.configHome / "runtime";
            std::filesystem::create_directory(runtime);
            std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
            setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        }
        static int argc = 1;
        static char name[] = "shell_tests";
        static char* argv[] = {name, nullptr};
        s.app = std::make_unique<QApplication>(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override {
        Shared& s = shared();
        s.app.reset();
        s.bus.reset();
        s.session.reset();
        std::error_code ignored;
        std::filesystem::remove_all(s.configHome, ignored);
    }
};

[[maybe_unused]] const auto* const environment =
    ::testing::AddGlobalTestEnvironment(std::make_unique<Environment>().release());

}  // namespace

xsession::XSession& session() {
    return *shared().session;
}
const std::string& busAddress() {
    return shared().bus->address();
}
pid_t busDaemon() {
    return shared().bus->pid();
}
const std::filesystem::path& configHome() {
    return shared().configHome;
}

void pump() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents();
}

bool pumpUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout) {
    return xsession::XSession::waitUntil(cond, timeout, pump);
}

Child::Child(const std::vector<std::string>& argv) : pid_(spawn(argv, nullptr)) {}

Child::~Child() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGTERM);
        int ignored = 0;
        if (!wait(ignored, std::chrono::seconds(3))) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
}

bool Child::exited(int& status) {
    if (!reaped_ && pid_ > 0) {
        int raw = 0;
        if (waitpid(pid_, &raw, WNOHANG) == pid_) {
            reaped_ = true;
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        }
    }
    status = status_;
    return reaped_;
}

bool Child::wait(int& status, std::chrono::milliseconds timeout) {
    return pumpUntil([&] { return exited(status); }, timeout);
}

void Child::sendSignal(int signal) const {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, signal);
    }
}

}  // namespace ombrel::shell_test
