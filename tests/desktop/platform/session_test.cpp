// The desktop session's services behind the system functions, against fakes on a private bus and
// a real sound server: media players, overviews, screen lockers, volume and display sleep.
#include "fake_bus.h"

#include <gtest/gtest.h>
#include <QDBusObjectPath>

#include "platform/linux/dbus_calls.h"
#include "platform/linux/linux_workspace.h"
#include "platform/linux/pulse_volume.h"
#include "platform/linux/x_properties.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "env.h"
#include "fakes/fake_platform.h"
#include "support/temp_dir.h"

namespace ombrel::linux_platform {
namespace {

using namespace platform_test;
using namespace std::chrono_literals;
using Calls = std::vector<std::string>;
using Reply = FakeBus::Reply;

TEST(SessionServices, MediaGoesToThePlayingPlayerElseTheOneTouchedLast) {
    // Players a and b with their status, the one that changed its status last, the one told.
    const std::tuple<std::vector<const char*>, const char*, const char*> cases[] = {
        {{"Playing", "Paused"}, "b", "a"},
        {{"Paused", "Paused"}, "a", "a"},
        {{"Paused", "Paused"}, "b", "b"},
        {{"Stopped", "Paused"}, "", "b"},
        {{}, "", nullptr},
    };
    for (const auto& [players, changedLast, told] : cases) {
        SCOPED_TRACE(changedLast);
        FakeBus bus;
        const std::string client = bus.connectClient();
        MprisPlayers watcher(client);
        const QString mpris = "org.mpris.MediaPlayer2.";
        for (std::size_t i = 0; i < players.size(); ++i) {
            bus.serve(mpris + QChar('a' + int(i)), "/org/mpris/MediaPlayer2",
                      FakeBus::answer(players[i]));
        }
        if (*changedLast != '\0') {
            QDBusMessage signal = QDBusMessage::createSignal(
                "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties", "PropertiesChanged");
            signal << "org.mpris.MediaPlayer2.Player" << QVariantMap{{"PlaybackStatus", "Paused"}}
                   << QStringList();
            bus.emitSignal(mpris + changedLast, signal);
            // Once an answer from the same player is back, its signal waits in the queue.
            callShort(QDBusConnection(QString::fromStdString(client)),
                      QDBusMessage::createMethodCall(mpris + changedLast, "/", "x.y", "ping"));
            pump();
        }
        ASSERT_EQ(watcher.send(DesktopShell::Player::next), told != nullptr);
        const std::string next =
            "org.mpris.MediaPlayer2." + std::string(told ? told : "") + " Next";
        EXPECT_TRUE(!told || pumpUntil([&] {
            const Calls calls = bus.calls();
            return !calls.empty() && calls.back() == next;
        }));
    }
}

TEST(SessionServices, ShowDesktopTogglesAndOverviewsOfKWinAndGnomeShellOnly) {
    XConnection x;
    fake::FakeTaskQueue queue;
    Display* d = session().display();
    const Atom showing = XInternAtom(d, "_NET_SHOWING_DESKTOP", False);
    const long before = readLong(d, DefaultRootWindow(d), showing).value_or(-1);
    ASSERT_TRUE(before == 0 || before == 1);
    const std::string get = "org.gnome.Shell Get org.gnome.Shell OverviewActive";
    const std::string set = "org.gnome.Shell Set org.gnome.Shell OverviewActive ";
    // The second GNOME request closes what the first opened.
    const std::pair<const char*, Calls> cases[] = {
        {"kde",
         {"org.kde.kglobalaccel invokeShortcut Overview",
          "org.kde.kglobalaccel invokeShortcut ExposeClass"}},
        {"gnome", {get, set + "true", get, set + "false"}},
        {"bare", {}},
    };
    for (const auto& [desktop, expected] : cases) {
        SCOPED_TRACE(desktop);
        FakeBus bus;
        bool overview = false;
        if (std::string(desktop) == "kde") {
            bus.serve("org.kde.KWin", "/KWin", FakeBus::answer());
            bus.serve("org.kde.kglobalaccel", "/component", FakeBus::answer());
        } else if (std::string(desktop) == "gnome") {
            bus.serve("org.gnome.Shell", "/org/gnome/Shell", [&](const QDBusMessage& call) {
                if (call.member() == "Set") {
                    overview = call.arguments()[2].value<QDBusVariant>().variant().toBool();
                }
                return FakeBus::answer(overview)(call);
            });
        }
        LinuxDesktopShell shell(x, queue, {bus.connectClient(), bus.connectClient()});
        EXPECT_EQ(shell.send(DesktopShell::Request::missionControl), !expected.empty());
        EXPECT_EQ(shell.send(DesktopShell::Request::appWindows), !expected.empty());
        EXPECT_EQ(bus.calls(), expected);
        // Showing the desktop is the window manager's, wherever the overviews come from.
        for (long shown : {1 - before, before}) {
            ASSERT_TRUE(shell.send(DesktopShell::Request::showDesktop));
            EXPECT_TRUE(
                pumpUntil([&] { return readLong(d, DefaultRootWindow(d), showing) == shown; }));
        }
    }
}

// A private folder whose files are named as strings.
struct Folder : test::TempDir {
    [[nodiscard]] std::string operator/(const std::string& name) const { return path() / name; }
};

TEST(SessionServices, LockingTakesTheFirstLockerThatAnswersAndNeverPretends) {
    // Who is there: the freedesktop locker on its path (a), only on KDE's (k) or silent (s),
    // GNOME's (g), logind (l), a program listening to logind (p), xdg-screensaver that locks (x)
    // or finds no locker (f); the calls the services received.
    const std::string fdo = "org.freedesktop.ScreenSaver Lock";
    const std::tuple<std::string, bool, Calls> cases[] = {
        {"ag", true, {fdo}},
        {"k", true, {fdo, fdo}},
        {"sg", true, {fdo, fdo, "org.gnome.ScreenSaver Lock"}},
        {"lpf",
         true,
         {"org.freedesktop.login1 GetSessionByPID " + std::to_string(getpid()),
          "org.freedesktop.login1 Lock"}},
        // logind answers even when nobody listens: it is not asked then.
        {"lx", true, {}},
        {"lf", false, {}},
        {"", false, {}},
    };
    Folder folder;
    std::ofstream(folder / "xdg-screensaver") << "#!/bin/sh\nexit $(/bin/cat " << folder / "status"
                                              << ")\n";
    chmod((folder / "xdg-screensaver").c_str(), 0755);
    std::filesystem::copy_file("/bin/sleep", folder / "xss-lock");
    const std::string path = std::getenv("PATH");
    for (const auto& [setup, locks, expected] : cases) {
        SCOPED_TRACE(setup);
        auto has = [&s = setup](char c) { return s.find(c) != std::string::npos; };
        FakeBus bus;
        const FakeBus::Handler other =
            has('s') ? FakeBus::silent : [](const QDBusMessage& call) -> Reply {
            return call.createErrorReply(QDBusError::UnknownObject, {});
        };
        if (has('a') || has('k') || has('s')) {
            bus.serve("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                      has('a') ? FakeBus::answer() : other);
            bus.serve("org.freedesktop.ScreenSaver", "/ScreenSaver",
                      has('k') ? FakeBus::answer() : other);
        }
        if (has('g')) {
            bus.serve("org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", FakeBus::answer());
        }
        if (has('l')) {
            const QDBusObjectPath session("/org/freedesktop/login1/session/_31");
            bus.serve("org.freedesktop.login1", "/org/freedesktop/login1",
                      FakeBus::answer(QVariant::fromValue(session)));
        }
        pid_t listener = has('p') ? xsession::XSession::start({folder / "xss-lock", "60"}) : -1;
        EXPECT_TRUE(pumpUntil([&] { return ScreenLocker::logindListenerRunning() == has('p'); }));
        std::ofstream(folder / "status") << (has('x') ? 0 : 1);
        setenv("PATH", has('x') || has('f') ? folder.path().c_str() : "/nonexistent", 1);
        std::optional<bool> locked;
        const auto start = std::chrono::steady_clock::now();
        ScreenLocker locker({bus.connectClient(), bus.connectClient()});
        locker.lock([&](bool l) { locked = l; });
        setenv("PATH", path.c_str(), 1);
        EXPECT_TRUE(pumpUntil([&] { return locked.has_value(); }));
        // A silent locker costs a short timeout each, not the bus's default 25 seconds.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        EXPECT_EQ(locked, std::optional<bool>(locks));
        EXPECT_EQ(bus.calls(), expected);
        xsession::XSession::stop(listener);
    }
}

// What pactl prints for the command, against the test's server.
std::string pactl(const std::string& command) {
    std::string out(256, '\0');
    FILE* p = popen(("pactl " + command).c_str(), "r");
    out.resize(fread(out.data(), 1, out.size(), p));
    pclose(p);
    return out;
}

TEST(SessionServices, VolumeStepsFivePercentUpToTheFullLevelAndMuteToggles) {
    Folder folder;
    pid_t server = xsession::XSession::start(
        {"env", "HOME=" + folder.path().string(), "XDG_RUNTIME_DIR=" + folder.path().string(),
         "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "-L",
         "module-null-sink sink_name=ombrel", "-L",
         "module-native-protocol-unix auth-anonymous=1 socket=" + folder / "native"});
    ASSERT_TRUE(xsession::XSession::waitUntil(
        [&] { return std::filesystem::exists(folder / "native"); }, 5s));
    setenv("PULSE_SERVER", ("unix:" + folder / "native").c_str(), 1);
    using V = DesktopShell::Volume;
    // From a level and mute state, the change gives a level and mute state.
    const std::tuple<int, bool, V, int, bool> cases[] = {
        {50, false, V::up, 55, false},     {98, false, V::up, 100, false},
        {100, false, V::up, 100, false},   {120, false, V::up, 120, false},
        {120, false, V::down, 115, false}, {3, false, V::down, 0, false},
        {50, true, V::up, 55, false},      {50, true, V::down, 45, true},
        {50, false, V::mute, 50, true},    {50, true, V::mute, 50, false},
    };
    for (const auto& [level, muted, change, after, mutedAfter] : cases) {
        SCOPED_TRACE(level);
        pactl("set-sink-volume ombrel " + std::to_string(level) + "%");
        pactl(std::string("set-sink-mute ombrel ") + (muted ? "1" : "0"));
        EXPECT_TRUE(changeVolume(change));
        const std::string volume = pactl("get-sink-volume ombrel");
        EXPECT_NE(volume.find(" " + std::to_string(after) + "% "), std::string::npos) << volume;
        EXPECT_EQ(pactl("get-sink-mute ombrel"), mutedAfter ? "Mute: yes\n" : "Mute: no\n");
    }
    xsession::XSession::stop(server);
    // No sound server: the caller falls back to the media keys.
    EXPECT_FALSE(changeVolume(V::up));
    unsetenv("PULSE_SERVER");
}

TEST(SessionServices, DisplaySleepWaitsForTheTriggersKeysToComeUp) {
    constexpr unsigned keyL = 46;
    XConnection x;
    fake::FakeTaskQueue queue;
    // The test's server has no DPMS: the caller falls back.
    EXPECT_FALSE(DisplaySleep(x, queue).sleep());
    // When the key comes up (never pressed: -1), and when the displays go off.
    for (const auto& [release, expected] :
         {std::pair{-1.0, 0.25}, {0.1, 0.25}, {1.0, 1.0}, {99.0, 5.0}}) {
        SCOPED_TRACE(release);
        std::optional<double> off;
        DisplaySleep sleep(x, queue, [&] { off = queue.uptime(); });
        const double start = queue.uptime();
        if (release >= 0) {
            userKey(keyL, true);
            queue.postAfter(release, [] { userKey(keyL, false); });
        }
        EXPECT_TRUE(sleep.sleep());
        queue.advance(10);
        userKey(keyL, false);
        EXPECT_NEAR(off.value_or(-1) - start, expected, DisplaySleep::pollSeconds + 0.01);
    }
}

}  // namespace
}  // namespace ombrel::linux_platform
