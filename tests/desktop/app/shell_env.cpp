// Starts the shared X session, session bus, settings folder and Qt application of the shell
// tests, and stops them in reverse order when the tests end.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <QApplication>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "config/json_codec.h"
#include "support/temp_dir.h"

// Last: the X session brings Xlib, whose macros collide with Qt and GoogleTest names.
#include "shell_env.h"

namespace ombrel::shell_test {

namespace {

// Emptied member by member in this order: a QApplication must not outlive its display.
struct Shared {
    std::unique_ptr<QApplication> app;
    std::unique_ptr<xsession::PrivateBus> bus;
    std::unique_ptr<xsession::XSession> session;
    std::unique_ptr<test::TempDir> configHome;
};

Shared& shared() {
    static Shared s;
    return s;
}

// Builds everything before the first test and tears it down after the last, while the process is
// still whole.
class Environment : public ::testing::Environment {
  public:
    void SetUp() override {
        Shared& s = shared();
        s.session = std::make_unique<xsession::XSession>(xsession::twoMonitors());
        s.bus = std::make_unique<xsession::PrivateBus>();
        s.configHome = std::make_unique<test::TempDir>();
        setenv("XDG_CONFIG_HOME", s.configHome->path().c_str(), 1);
        // Qt wants a private runtime folder; the session has none.
        const auto runtime = s.configHome->path() / "runtime";
        std::filesystem::create_directory(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        static int argc = 1;
        static char name[] = "shell_tests";
        static char* argv[] = {name, nullptr};
        s.app = std::make_unique<QApplication>(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override { shared() = Shared{}; }
};

[[maybe_unused]] const auto* const environment =
    ::testing::AddGlobalTestEnvironment(std::make_unique<Environment>().release());

}  // namespace

xsession::XSession& session() {
    return *shared().session;
}
xsession::PrivateBus& bus() {
    return *shared().bus;
}
const std::filesystem::path& configHome() {
    return shared().configHome->path();
}

void pump() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents();
}

bool pumpUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout) {
    return xsession::XSession::waitUntil(cond, timeout, pump);
}

Program::Program(const std::vector<std::string>& argv) : pid(xsession::XSession::start(argv)) {}

Program::~Program() {
    xsession::XSession::stop(pid);
}

std::optional<int> Program::end(std::chrono::milliseconds timeout) {
    int raw = 0;
    if (pid <= 0 || !pumpUntil([&] { return waitpid(pid, &raw, WNOHANG) == pid; }, timeout)) {
        return std::nullopt;
    }
    pid = -1;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

bool isViewable(Window window) {
    XWindowAttributes a{};
    return XGetWindowAttributes(session().display(), window, &a) != 0 && a.map_state == IsViewable;
}

void writeSettings(const Config& config) {
    const auto file = configHome() / "Ombrel" / "config.json";
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file.string() + ".new") << *encodeConfig(config);
    std::filesystem::rename(file.string() + ".new", file);
}

}  // namespace ombrel::shell_test
