// The real ombrel executable on the shared X session and bus: run requests performed by a running
// instance, with the engine on or off, and a second start handing over to the first or, without
// a bus, just leaving it alone.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/single_instance.h"
#include "config/json_codec.h"
#include "config/store.h"

// Last: Xlib macros collide with Qt and GoogleTest names.
#include "shell_env.h"
#include "x_probe.h"

namespace ombrel::shell_test {
namespace {

bool instanceOnBus() {
    const auto reply =
        QDBusConnection::sessionBus().interface()->isServiceRegistered("local.ombrel");
    return reply.isValid() && reply.value();
}

// Whether a mapped window titled exactly "Ombrel" exists (the settings window).
bool settingsWindowShown() {
    return xsession::XSession::run({"xdotool", "search", "--onlyvisible", "--name", "^Ombrel$"}) ==
           0;
}

int sendRun(const std::string& argument) {
    return xsession::XSession::run(
        {"dbus-send", "--session", "--type=signal", "/local/ombrel", "local.ombrel.run", argument});
}

// Every request sent before this has been handled once the instance answers it.
bool roundTrip() {
    const QDBusMessage reply = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall("local.ombrel", "/local/ombrel/instance",
                                       "local.ombrel.Instance", "showSettings"),
        QDBus::Block, 5000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(session().ready()) << session().failure();
        ASSERT_FALSE(instanceOnBus()) << "an earlier instance is still running";
    }
    void TearDown() override {
        for (Window w : windows) {
            XDestroyWindow(session().display(), w);
        }
        XSync(session().display(), False);
        program.reset();
        pumpUntil([] { return !instanceOnBus(); });
    }

    void writeSettings(bool engineEnabled) {
        Store store(configHome() / "Ombrel");
        Config config = store.config();
        config.engineEnabled = engineEnabled;
        store.setConfig(config);
    }

    // Starts ombrel and waits for the end of its launch sequence (the settings window is shown).
    void start() {
        program = std::make_unique<Child>(std::vector<std::string>{OMBREL_BINARY});
        ASSERT_TRUE(program->started());
        ASSERT_TRUE(pumpUntil(instanceOnBus, std::chrono::seconds(10)));
        ASSERT_TRUE(pumpUntil(settingsWindowShown, std::chrono::seconds(10)));
    }

    Window focusedTarget() {
        const Window w = session().createWindow("target", "Target", 300, 200, 400, 300);
        EXPECT_NE(w, Window{0});
        windows.push_back(w);
        EXPECT_TRUE(session().activate(w));
        return w;
    }

    QRect frameOf(Window w) {
        xsession::Monitor m;
        if (!session().outerFrame(w, m)) {
            return {};
        }
        return {m.x, m.y, m.width, m.height};
    }

    std::unique_ptr<Child> program;
    std::vector<Window> windows;
};

bool near(QRect a, QRect b) {
    return std::abs(a.x() - b.x()) <= 2 && std::abs(a.y() - b.y()) <= 2 &&
           std::abs(a.width() - b.width()) <= 2 && std::abs(a.height() - b.height()) <= 2;
}

TEST_F(ProgramTest, RunRequestsPlaceTheFocusedWindowAndIgnoreUnknownNames) {
    writeSettings(true);
    start();
    const Window w = focusedTarget();
    const auto& primary = session().options().monitors.front();
    const QRect leftHalf(primary.x, primary.y, primary.width / 2, primary.height);

    ASSERT_EQ(sendRun("string:leftHalf"), 0);
    ASSERT_TRUE(pumpUntil([&] { return near(frameOf(w), leftHalf); }))
        << "frame " << frameOf(w).x() << "," << frameOf(w).y() << " " << frameOf(w).width() << "x"
        << frameOf(w).height();

    ASSERT_EQ(sendRun("string:noSuchAction"), 0);
    ASSERT_TRUE(roundTrip());
    EXPECT_TRUE(near(frameOf(w), leftHalf)) << "an ignored name moved the window";
}

TEST_F(ProgramTest, SystemRequestRunsWhileTheEngineIsOff) {
    writeSettings(false);
    start();
    focusedTarget();
    const auto showing = [] {
        Display* d = session().display();
        Atom type = 0;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        long value = 0;
        if (XGetWindowProperty(d, DefaultRootWindow(d),
                               XInternAtom(d, "_NET_SHOWING_DESKTOP", False), 0, 1, False,
                               AnyPropertyType, &type, &format, &count, &after, &data) == Success &&
            data != nullptr && count == 1) {
            value = *reinterpret_cast<long*>(data);
        }
        if (data != nullptr) {
            XFree(data);
        }
        return value != 0;
    };
    ASSERT_FALSE(showing());
    ASSERT_EQ(sendRun("string:showDesktop"), 0);
    EXPECT_TRUE(pumpUntil(showing));
    ASSERT_EQ(sendRun("string:showDesktop"), 0);
    EXPECT_TRUE(pumpUntil([&] { return !showing(); }));
}

// One instance per user whether or not a bus carries the handover: a second start ends at once
// and leaves the first running, which shows its closed (only hidden) window when both have the
// bus. Each first start is killed outright, and the next one runs all the same: the kernel has
// released the lock.
TEST_F(ProgramTest, OneInstancePerUserWithOrWithoutASessionBus) {
    writeSettings(true);
    using Env = std::vector<std::string>;
    const std::string noBus = "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus";
    const std::string bus = "DBUS_SESSION_BUS_ADDRESS=" + busAddress();
    const auto tmp = configHome() / "tmp";
    std::filesystem::create_directory(tmp);
    const Env noRuntimeFolder = {"-u", "XDG_RUNTIME_DIR", "TMPDIR=" + tmp.string(), noBus};
    const struct {
        const char* name;
        Env first;
        Env second;
    } cases[] = {
        {"a bus for both", {bus}, {bus}},
        {"no bus", {noBus}, {noBus}},
        {"a bus for the second only", {noBus}, {bus}},
        {"a bus for the first only", {bus}, {noBus}},
        {"no runtime folder", noRuntimeFolder, noRuntimeFolder},
    };
    const auto command = [](Env env) {
        env.insert(env.begin(), "env");
        env.emplace_back(OMBREL_BINARY);
        return env;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Child first(command(c.first));
        ASSERT_TRUE(pumpUntil(settingsWindowShown, std::chrono::seconds(10)));
        ASSERT_EQ(xsession::XSession::run({"wmctrl", "-F", "-c", "Ombrel"}), 0);
        ASSERT_TRUE(pumpUntil([] { return !settingsWindowShown(); }));
        Child second(command(c.second));
        int status = -1;
        EXPECT_TRUE(second.wait(status)) << "the second start kept running";
        EXPECT_EQ(status, 0);
        if (c.first == c.second && c.first.back() == bus) {
            EXPECT_TRUE(pumpUntil(settingsWindowShown)) << "the first did not show its window";
        }
        EXPECT_FALSE(first.exited(status)) << "the first instance ended with " << status;
        first.sendSignal(SIGKILL);
        ASSERT_TRUE(first.wait(status));
        ASSERT_TRUE(pumpUntil([] { return !settingsWindowShown() && !instanceOnBus(); }));
    }
    const auto folder = tmp / ("ombrel-" + std::to_string(geteuid()));
    EXPECT_TRUE(std::filesystem::exists(folder / "ombrel.lock"));
    EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms::owner_all);
}

// With --verbose the log is on standard error too, with every decision of the engine: a Wayland
// session is told once, a key typed by another program passes, and a hand edit of the settings
// file reaches the running program.
TEST_F(ProgramTest, VerboseStartLogsTheWaylandLimitsOnceAndFollowsAHandEdit) {
    writeSettings(true);
    const auto settings = configHome() / "Ombrel" / "config.json";
    const auto err = configHome() / "verbose.err";
    program = std::make_unique<Child>(std::vector<std::string>{
        "sh", "-c", R"(XDG_SESSION_TYPE=wayland exec "$0" --verbose 2>"$1")", OMBREL_BINARY,
        err.string()});
    ASSERT_TRUE(pumpUntil(instanceOnBus, std::chrono::seconds(10)));
    const auto text = [&] {
        std::ifstream in(err);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const auto logged = [&](const char* part) {
        return pumpUntil([&] { return text().find(part) != std::string::npos; });
    };
    EXPECT_TRUE(logged("Ombrel 0.1.0 started"));
    EXPECT_TRUE(logged("This is a Wayland session")) << text();
    EXPECT_TRUE(pumpUntil([&] {
        xsession::XSession::run({"xdotool", "key", "F12"});
        return text().find("F12 (111): passed") != std::string::npos;
    })) << text();
    std::ofstream(settings.string() + ".new") << *encodeConfig(Config{false, true, Mods(6), {}});
    std::filesystem::rename(settings.string() + ".new", settings);
    EXPECT_TRUE(logged("changed by another program")) << text();
    EXPECT_EQ(text().find("Wayland session"), text().rfind("Wayland session")) << text();
}

// The lock lives only where nobody else can create or replace it: the runtime folder when it is
// the user's and private, else a private folder of the user's under TMPDIR, else nowhere.
TEST(LockFolder, IsTheUsersAndPrivate) {
    namespace fs = std::filesystem;
    const fs::path runtime = std::getenv("XDG_RUNTIME_DIR");
    const fs::path fallback = configHome() / ("ombrel-" + std::to_string(geteuid()));
    setenv("TMPDIR", configHome().c_str(), 1);
    EXPECT_EQ(SingleInstance::defaultLockFolder(), runtime);
    fs::permissions(runtime, fs::perms::group_write, fs::perm_options::add);
    EXPECT_EQ(SingleInstance::defaultLockFolder(), fallback);
    fs::remove(fallback);
    fs::create_directory_symlink(runtime, fallback);
    EXPECT_EQ(SingleInstance::defaultLockFolder(), fs::path()) << "followed a link";
    fs::permissions(runtime, fs::perms::group_write, fs::perm_options::remove);
    fs::remove(fallback);
    unsetenv("TMPDIR");
}

}  // namespace
}  // namespace ombrel::shell_test
