// The real ombrel executable on the shared X session and bus: a running instance that logs with
// --verbose, performs run requests with the engine off and follows a hand edit of its settings;
// a second start handing over to the first or, without a bus, just leaving it alone.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/single_instance.h"
#include "support/temp_dir.h"

// Last: Xlib macros collide with Qt and GoogleTest names.
#include "shell_env.h"

namespace ombrel::shell_test {
namespace {

using namespace std::chrono_literals;
using xsession::XSession;
using Env = std::vector<std::string>;
namespace fs = std::filesystem;

bool instanceOnBus() {
    const auto reply =
        QDBusConnection::sessionBus().interface()->isServiceRegistered("local.ombrel");
    return reply.isValid() && reply.value();
}

// Whether a mapped window titled exactly "Ombrel" exists (the settings window).
bool settingsWindowShown() {
    return XSession::run({"xdotool", "search", "--onlyvisible", "--name", "^Ombrel$"}) == 0;
}

bool showingDesktop() {
    return XSession::run({"sh", "-c", "xprop -root _NET_SHOWING_DESKTOP | grep -q '= 1'"}) == 0;
}

// With --verbose the log is on standard error too, with every decision of the engine: a Wayland
// session is told once, run requests are performed with the engine off, a hand edit reaches the
// running program and a key typed by another program then passes.
TEST(Program, RunsRequestsWithTheEngineOffAndFollowsAHandEdit) {
    ASSERT_FALSE(instanceOnBus()) << "an earlier instance is still running";
    writeSettings(Config{false, true, Mods(6), {}});
    const auto err = configHome() / "verbose.err";
    Program program({"sh", "-c", R"(XDG_SESSION_TYPE=wayland exec "$0" --verbose 2>"$1")",
                     OMBREL_BINARY, err.string()});
    ASSERT_TRUE(pumpUntil(instanceOnBus, 10s));
    ASSERT_TRUE(pumpUntil(settingsWindowShown, 10s));
    const auto log = [&] { return test::readFile(err); };
    const auto logged = [&](const char* part) {
        return pumpUntil([&] { return log().find(part) != std::string::npos; });
    };
    EXPECT_TRUE(logged("This is a Wayland session")) << log();

    const Window w = session().createWindow("target", "Target", 300, 200, 400, 300);
    ASSERT_NE(w, Window{0});
    ASSERT_TRUE(session().activate(w));
    const auto& primary = session().options().monitors.front();
    const auto onLeftHalf = [&] {
        xsession::Monitor m;
        return session().outerFrame(w, m) && std::abs(m.x - primary.x) <= 2 &&
               std::abs(m.y - primary.y) <= 2 && std::abs(m.width - primary.width / 2) <= 2 &&
               std::abs(m.height - primary.height) <= 2;
    };
    const std::pair<std::string, std::function<bool()>> runs[] = {
        {"leftHalf", onLeftHalf}, {"showDesktop", showingDesktop}, {"showDesktop", [] {
                                                                        return !showingDesktop();
                                                                    }}};
    for (const auto& [name, done] : runs) {
        ASSERT_EQ(XSession::run({"dbus-send", "--session", "--type=signal", "/local/ombrel",
                                 "local.ombrel.run", "string:" + name}),
                  0);
        EXPECT_TRUE(pumpUntil(done)) << name;
    }
    XDestroyWindow(session().display(), w);

    writeSettings(Config{true, true, Mods(6), {}});
    EXPECT_TRUE(logged("changed by another program")) << log();
    EXPECT_TRUE(pumpUntil([&] {
        XSession::run({"xdotool", "key", "F12"});
        return log().find("F12 (111): passed") != std::string::npos;
    })) << log();
    EXPECT_EQ(log().find("Wayland session"), log().rfind("Wayland session")) << log();
}

// One instance per user whether or not a bus carries the handover: a second start ends at once
// and leaves the first running, which shows its closed (only hidden) window when both have the
// bus. Ended by the session (SIGTERM, SIGHUP) or from a terminal (SIGINT), the first quits as
// from its menu and exits normally; killed outright, the next start runs all the same: the
// kernel has released the lock.
TEST(Program, OneInstancePerUserWithOrWithoutASessionBusAndALockFolderOfItsOwn) {
    ASSERT_TRUE(pumpUntil([] { return !instanceOnBus(); })) << "an earlier instance still runs";
    writeSettings(Config{true, true, Mods(6), {}});
    const std::string noBus = "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus";
    const std::string bus = "DBUS_SESSION_BUS_ADDRESS=" + shell_test::bus().address();
    const auto tmp = configHome() / "tmp";
    fs::create_directory(tmp);
    const Env noRuntimeFolder = {"-u", "XDG_RUNTIME_DIR", "TMPDIR=" + tmp.string(), noBus};
    const struct {
        const char* name;
        Env first;
        Env second;
        int ending;  // the signal that ends the first
    } cases[] = {
        {"a bus for both", {bus}, {bus}, SIGTERM},
        {"no bus", {noBus}, {noBus}, SIGKILL},
        {"a bus for the second only", {noBus}, {bus}, SIGHUP},
        {"a bus for the first only", {bus}, {noBus}, SIGKILL},
        {"no runtime folder", noRuntimeFolder, noRuntimeFolder, SIGINT},
    };
    const auto command = [](Env env) {
        env.insert(env.begin(), "env");
        env.emplace_back(OMBREL_BINARY);
        return env;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Program first(command(c.first));
        ASSERT_TRUE(pumpUntil(settingsWindowShown, 10s));
        ASSERT_EQ(XSession::run({"wmctrl", "-F", "-c", "Ombrel"}), 0);
        ASSERT_TRUE(pumpUntil([] { return !settingsWindowShown(); }));
        Program second(command(c.second));
        EXPECT_EQ(second.end(), 0) << "the second start kept running or failed";
        if (c.first == c.second && c.first.back() == bus) {
            EXPECT_TRUE(pumpUntil(settingsWindowShown)) << "the first did not show its window";
        }
        EXPECT_EQ(first.end(0ms), std::nullopt) << "the first instance ended";
        kill(first.pid, c.ending);
        EXPECT_EQ(first.end(), c.ending == SIGKILL ? -1 : 0);
        ASSERT_TRUE(pumpUntil([] { return !settingsWindowShown() && !instanceOnBus(); }));
    }
    const auto folder = tmp / ("ombrel-" + std::to_string(geteuid()));
    EXPECT_TRUE(fs::exists(folder / "ombrel.lock"));
    EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);

    // The lock lives only where nobody else can create or replace it: the runtime folder when it
    // is the user's and private, else that private folder of the user's under TMPDIR, else
    // nowhere.
    const fs::path runtime = std::getenv("XDG_RUNTIME_DIR");
    setenv("TMPDIR", tmp.c_str(), 1);
    EXPECT_EQ(SingleInstance::defaultLockFolder(), runtime);
    fs::remove_all(folder);
    fs::permissions(runtime, fs::perms::group_write, fs::perm_options::add);
    EXPECT_EQ(SingleInstance::defaultLockFolder(), folder);
    // A link, even to a private folder of the user's, may be replaced by whoever may write there.
    const fs::path elsewhere = configHome() / "elsewhere";
    fs::create_directory(elsewhere);
    fs::permissions(elsewhere, fs::perms::owner_all);
    fs::remove(folder);
    fs::create_directory_symlink(elsewhere, folder);
    EXPECT_EQ(SingleInstance::defaultLockFolder(), fs::path()) << "followed a link";
    fs::permissions(runtime, fs::perms::group_write, fs::perm_options::remove);
    fs::remove(folder);
    unsetenv("TMPDIR");
}

}  // namespace
}  // namespace ombrel::shell_test
