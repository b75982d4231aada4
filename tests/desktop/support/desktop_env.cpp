// Starts the shared X session, session bus, settings folder and Qt application of a desktop test
// executable, and stops them in reverse order when its tests end.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdlib>
#include <memory>

#include "support/temp_dir.h"

// Last: the X session brings Xlib, whose macros collide with Qt and GoogleTest names.
#include "desktop_env.h"

namespace ombrel::desktop_test {

namespace {

// Emptied member by member in this order: a QApplication must not outlive its display.
struct Shared {
    std::unique_ptr<QApplication> app;
    std::unique_ptr<xsession::PrivateBus> bus;
    std::unique_ptr<xsession::XSession> session;
    std::unique_ptr<test::TempDir> configHome;
};

// Built on first use (even from a static initializer), so that the Qt loop and every connection
// see the session's DISPLAY, the bus and the folders.
Shared& shared() {
    static Shared s;
    if (!s.session) {
        s.session = std::make_unique<xsession::XSession>(xsession::twoMonitors());
        s.bus = std::make_unique<xsession::PrivateBus>();
        s.configHome = std::make_unique<test::TempDir>();
        setenv("XDG_CONFIG_HOME", s.configHome->path().c_str(), 1);
        // Qt wants a private runtime folder; the session has none.
        const auto runtime = s.configHome->path() / "runtime";
        std::filesystem::create_directory(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        // With widgets, as the program has: its overlays and settings are windows.
        static int argc = 1;
        static char name[] = "desktop_tests";
        static char* argv[] = {name, nullptr};
        s.app = std::make_unique<QApplication>(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    return s;
}

// Every test runs on the shared desktop: it comes up before them, and without it none runs. It
// goes after the last while the process is still whole.
class Environment : public ::testing::Environment {
    void SetUp() override { ASSERT_TRUE(session().ready()) << session().failure(); }
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
    // A short blocking turn, as in the program: events that round trips left in Xlib's queue
    // are handed out when the loop is about to wait.
    QEventLoop loop;
    QTimer::singleShot(1, &loop, &QEventLoop::quit);
    loop.exec();
}

bool pumpUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout) {
    return xsession::XSession::waitUntil(cond, timeout, pump);
}

}  // namespace ombrel::desktop_test
