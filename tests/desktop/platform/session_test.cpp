// The desktop session's services behind the system functions, each against fakes on a private
// bus or a real sound server: media players, the overviews, the screen lockers, the volume and
// display sleep.
#include "fake_bus.h"

#include <gtest/gtest.h>
#include <QDBusObjectPath>
#include <QProcess>
#include <QRegularExpression>

#include "platform/linux/linux_workspace.h"
#include "platform/linux/mpris_players.h"
#include "platform/linux/pulse_volume.h"
#include "platform/linux/screen_locker.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "env.h"
#include "fakes/fake_platform.h"

namespace ombrel::linux_platform {
namespace {

using namespace platform_test;
using namespace std::chrono_literals;
using Player = DesktopShell::Player;
using Calls = std::vector<std::string>;

const QString mprisPath = QStringLiteral("/org/mpris/MediaPlayer2");

FakeBus::Handler answer(const QVariant& value = {}) {
    return [value](const QDBusMessage& call) -> std::optional<QDBusMessage> {
        return value.isValid() ? call.createReply(value) : call.createReply();
    };
}
FakeBus::Handler silent() {
    return [](const QDBusMessage&) -> std::optional<QDBusMessage> { return std::nullopt; };
}
FakeBus::Handler refuse() {
    return [](const QDBusMessage& call) -> std::optional<QDBusMessage> {
        return call.createErrorReply(QDBusError::UnknownObject, QStringLiteral("no"));
    };
}

// A player whose status the test sets; answers Get and records the commands.
void servePlayer(FakeBus& bus, const QString& name, const QString& status) {
    bus.serve(QStringLiteral("org.mpris.MediaPlayer2.") + name, mprisPath,
              [status](const QDBusMessage& call) -> std::optional<QDBusMessage> {
                  if (call.member() == QLatin1String("Get")) {
                      return FakeBus::propertyReply(call, status);
                  }
                  return call.createReply();
              });
}

TEST(SessionServices, MediaGoesToThePlayingPlayerElseTheOneTouchedLast) {
    FakeBus bus;
    ASSERT_TRUE(bus.ready());
    struct Case {
        std::vector<std::pair<const char*, const char*>> players;  // name, status
        const char* changedLast;  // emitted a status change after the others
        const char* expected;     // receives the command; nothing: no player
    };
    const Case cases[] = {
        {{{"a", "Playing"}, {"b", "Paused"}}, "b", "a"},
        {{{"a", "Paused"}, {"b", "Paused"}}, "a", "a"},
        {{{"a", "Paused"}, {"b", "Paused"}}, "b", "b"},
        {{{"a", "Stopped"}, {"b", "Paused"}}, nullptr, "b"},
        {{{"a", "Stopped"}}, nullptr, "a"},
        {{}, nullptr, nullptr},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE(k);
        const Case& c = cases[k];
        MprisPlayers players(bus.connectClient());
        for (const auto& [name, status] : c.players) {
            servePlayer(bus, QString::fromLatin1(name), QString::fromLatin1(status));
        }
        if (c.changedLast != nullptr) {
            QDBusMessage signal = QDBusMessage::createSignal(
                mprisPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                QStringLiteral("PropertiesChanged"));
            signal << QStringLiteral("org.mpris.MediaPlayer2.Player")
                   << QVariantMap{{QStringLiteral("PlaybackStatus"), QStringLiteral("Paused")}}
                   << QStringList();
            bus.emitSignal(QStringLiteral("org.mpris.MediaPlayer2.") + c.changedLast, signal);
        }
        // The change is seen once the loop has turned after the signal went out.
        for (int i = 0; i < 20; ++i) {
            pump();
        }
        bus.clearCalls();
        ASSERT_EQ(players.send(Player::next), c.expected != nullptr);
        if (c.expected != nullptr) {
            const std::string expected =
                std::string("org.mpris.MediaPlayer2.") + c.expected + " Next";
            EXPECT_TRUE(pumpUntil([&] {
                const Calls calls = bus.calls();
                return std::find(calls.begin(), calls.end(), expected) != calls.end();
            })) << expected;
        }
        for (const auto& [name, status] : c.players) {
            bus.stop(QStringLiteral("org.mpris.MediaPlayer2.") + name);
        }
    }
}

TEST(SessionServices, OverviewsOfKWinAndGnomeShellAndNoneElsewhere) {
    XConnection x;
    fake::FakeMainQueue queue;
    using R = DesktopShell::Request;
    const QString kwin = QStringLiteral("org.kde.KWin");
    for (const char* desktop : {"kde", "gnome", "bare"}) {
        SCOPED_TRACE(desktop);
        FakeBus bus;
        ASSERT_TRUE(bus.ready());
        bool overview = false;
        Calls expected;
        if (std::string(desktop) == "kde") {
            bus.serve(kwin, QStringLiteral("/KWin"), answer());
            bus.serve(QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/component"),
                      answer());
            expected = {"org.kde.kglobalaccel invokeShortcut Overview",
                        "org.kde.kglobalaccel invokeShortcut ExposeClass"};
        } else if (std::string(desktop) == "gnome") {
            bus.serve(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                      [&overview](const QDBusMessage& call) -> std::optional<QDBusMessage> {
                          if (call.member() == QLatin1String("Set")) {
                              overview =
                                  call.arguments()[2].value<QDBusVariant>().variant().toBool();
                              return call.createReply();
                          }
                          return FakeBus::propertyReply(call, overview);
                      });
            // The second request closes what the first opened.
            expected = {"org.gnome.Shell Get org.gnome.Shell OverviewActive",
                        "org.gnome.Shell Set org.gnome.Shell OverviewActive true",
                        "org.gnome.Shell Get org.gnome.Shell OverviewActive",
                        "org.gnome.Shell Set org.gnome.Shell OverviewActive false"};
        }
        LinuxDesktopShell shell(x, queue, {bus.connectClient(), bus.connectClient()});
        EXPECT_EQ(shell.send(R::missionControl), !expected.empty());
        EXPECT_EQ(shell.send(R::appWindows), !expected.empty());
        EXPECT_EQ(bus.calls(), expected);
    }
}

class Folder {
  public:
    Folder() { std::filesystem::create_directories(path_); }
    ~Folder() { std::filesystem::remove_all(path_); }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    [[nodiscard]] std::string file(const std::string& name) const { return path_ / name; }
    void script(const std::string& name, const std::string& body) const {
        std::ofstream(file(name)) << "#!/bin/sh\n" << body << "\n";
        chmod(file(name).c_str(), 0755);
    }
    [[nodiscard]] std::string path() const { return path_; }

  private:
    std::filesystem::path path_ =
        std::filesystem::temp_directory_path() / ("ombrel-session-" + std::to_string(getpid()));
};

TEST(SessionServices, LockingTakesTheFirstLockerThatAnswersAndNeverPretends) {
    const QString freedesktop = QStringLiteral("org.freedesktop.ScreenSaver");
    const QString gnome = QStringLiteral("org.gnome.ScreenSaver");
    const QString logind = QStringLiteral("org.freedesktop.login1");
    enum Setup : unsigned {
        none = 0,
        fdo = 1,        // answers on /org/freedesktop/ScreenSaver
        fdoKde = 2,     // answers only on /ScreenSaver
        fdoSilent = 4,  // owns the name and never answers
        gnomeShell = 8,
        login = 16,      // logind answers, whether anyone listens or not
        listener = 32,   // a program that locks on logind's signal runs
        xdgLocks = 64,   // xdg-screensaver exists and locks
        xdgFails = 128,  // xdg-screensaver exists and finds no locker
    };
    const std::tuple<unsigned, bool, Calls> cases[] = {
        {fdo | gnomeShell, true, {"org.freedesktop.ScreenSaver Lock"}},
        {fdoKde, true, {"org.freedesktop.ScreenSaver Lock", "org.freedesktop.ScreenSaver Lock"}},
        {fdoSilent | gnomeShell,
         true,
         {"org.freedesktop.ScreenSaver Lock", "org.freedesktop.ScreenSaver Lock",
          "org.gnome.ScreenSaver Lock"}},
        {login | listener | xdgFails,
         true,
         {"org.freedesktop.login1 GetSessionByPID " + std::to_string(getpid()),
          "org.freedesktop.login1 Lock"}},
        // logind answers even when nobody listens: it is not asked then.
        {login | xdgLocks, true, {"xdg-screensaver lock"}},
        {login | xdgFails, false, {"xdg-screensaver lock"}},
        {none, false, {}},
    };
    Folder folder;
    folder.script("xdg-screensaver", "echo \"xdg-screensaver $1\" >> " + folder.file("log") +
                                         "\nexit \"$(/bin/cat " + folder.file("status") + ")\"");
    std::filesystem::copy_file("/bin/sleep", folder.file("xss-lock"));
    const std::string oldPath = std::getenv("PATH");
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE(k);
        const auto& [setup, locks, expected] = cases[k];
        FakeBus bus;
        ASSERT_TRUE(bus.ready());
        if ((setup & (fdo | fdoKde | fdoSilent)) != 0) {
            const bool kde = (setup & fdoKde) != 0;
            const auto other = (setup & fdoSilent) != 0 ? silent() : refuse();
            bus.serve(freedesktop, QStringLiteral("/org/freedesktop/ScreenSaver"),
                      (setup & fdo) != 0 ? answer() : other);
            bus.serve(freedesktop, QStringLiteral("/ScreenSaver"), kde ? answer() : other);
        }
        if ((setup & gnomeShell) != 0) {
            bus.serve(gnome, QStringLiteral("/org/gnome/ScreenSaver"), answer());
        }
        if ((setup & login) != 0) {
            bus.serve(logind, QStringLiteral("/org/freedesktop/login1"),
                      [](const QDBusMessage& call) -> std::optional<QDBusMessage> {
                          if (call.member() == QLatin1String("GetSessionByPID")) {
                              return call.createReply(QVariant::fromValue(QDBusObjectPath(
                                  QStringLiteral("/org/freedesktop/login1/session/_31"))));
                          }
                          return call.createReply();
                      });
        }
        pid_t listening = -1;
        if ((setup & listener) != 0) {
            listening = xsession::XSession::start({folder.file("xss-lock"), "60"});
            ASSERT_TRUE(pumpUntil([] { return ScreenLocker::logindListenerRunning(); }));
        }
        std::filesystem::remove(folder.file("log"));
        std::ofstream(folder.file("status")) << ((setup & xdgLocks) != 0 ? 0 : 1);
        setenv("PATH",
               ((setup & (xdgLocks | xdgFails)) != 0 ? folder.path() : "/nonexistent").c_str(), 1);
        std::optional<bool> locked;
        const auto start = std::chrono::steady_clock::now();
        ScreenLocker locker({bus.connectClient(), bus.connectClient()});
        locker.lock([&](bool l) { locked = l; });
        setenv("PATH", oldPath.c_str(), 1);
        EXPECT_TRUE(pumpUntil([&] { return locked.has_value(); }));
        // A silent locker costs its short timeout, not the bus's default 25 seconds.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        EXPECT_EQ(locked, std::optional<bool>(locks));
        Calls calls = bus.calls();
        std::ifstream log(folder.file("log"));
        for (std::string line; std::getline(log, line);) {
            calls.push_back(line);
        }
        EXPECT_EQ(calls, expected);
        xsession::XSession::stop(listening);
    }
}

// Runs pactl against the test's server; its output.
std::string pactl(const QStringList& arguments) {
    QProcess p;
    p.start(QStringLiteral("pactl"), arguments);
    p.waitForFinished(5000);
    return QString::fromUtf8(p.readAllStandardOutput()).toStdString();
}

TEST(SessionServices, VolumeStepsFivePercentUpToTheFullLevelAndMuteToggles) {
    Folder folder;
    const std::string socket = folder.file("native");
    QProcess server;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), QString::fromStdString(folder.path()));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(folder.path()));
    server.setProcessEnvironment(env);
    server.start(
        QStringLiteral("pulseaudio"),
        {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
         QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=no"),
         QStringLiteral("--log-target=stderr"), QStringLiteral("--log-level=error"),
         QStringLiteral("-L"), QStringLiteral("module-null-sink sink_name=ombrel"),
         QStringLiteral("-L"),
         QString::fromStdString("module-native-protocol-unix auth-anonymous=1 socket=" + socket)});
    ASSERT_TRUE(server.waitForStarted(5000));
    ASSERT_TRUE(xsession::XSession::waitUntil([&] { return std::filesystem::exists(socket); }, 5s));
    setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    using V = DesktopShell::Volume;
    // From a level and mute state, the change gives a level and mute state.
    const std::tuple<int, bool, V, int, bool> cases[] = {
        {50, false, V::up, 55, false},     {98, false, V::up, 100, false},
        {100, false, V::up, 100, false},   {120, false, V::up, 120, false},
        {120, false, V::down, 115, false}, {3, false, V::down, 0, false},
        {50, true, V::up, 55, false},      {50, true, V::down, 45, true},
        {50, false, V::mute, 50, true},    {50, true, V::mute, 50, false},
    };
    const QRegularExpression percent(QStringLiteral(R"((\d+)%)"));
    for (const auto& [level, muted, change, after, mutedAfter] : cases) {
        SCOPED_TRACE(level);
        pactl({QStringLiteral("set-sink-volume"), QStringLiteral("ombrel"),
               QStringLiteral("%1%").arg(level)});
        pactl({QStringLiteral("set-sink-mute"), QStringLiteral("ombrel"),
               QString::number(muted ? 1 : 0)});
        EXPECT_TRUE(changeVolume(change));
        const auto volume = percent.match(QString::fromStdString(
            pactl({QStringLiteral("get-sink-volume"), QStringLiteral("ombrel")})));
        EXPECT_EQ(volume.captured(1).toInt(), after);
        EXPECT_EQ(pactl({QStringLiteral("get-sink-mute"), QStringLiteral("ombrel")}),
                  mutedAfter ? "Mute: yes\n" : "Mute: no\n");
    }
    server.kill();
    server.waitForFinished();
    // No sound server: the caller falls back to the media keys.
    EXPECT_FALSE(changeVolume(V::up));
    unsetenv("PULSE_SERVER");
}

TEST(SessionServices, DisplaySleepWaitsForTheTriggersKeysToComeUp) {
    constexpr unsigned keyL = 46;
    XConnection x;
    fake::FakeMainQueue queue;
    // The test's server has no DPMS: the caller falls back.
    EXPECT_FALSE(DisplaySleep(x, queue).sleep());
    // When the key comes up (never pressed: -1), and when the displays go off.
    const std::pair<double, double> cases[] = {{-1, 0.25}, {0.1, 0.25}, {1.0, 1.0}, {99, 5.0}};
    for (const auto& [release, expected] : cases) {
        SCOPED_TRACE(release);
        fake::FakeMainQueue q;
        std::optional<double> off;
        DisplaySleep sleep(x, q, [&] { off = q.uptime(); });
        if (release >= 0) {
            userKey(keyL, true);
            q.postAfter(release, [] { userKey(keyL, false); });
        }
        EXPECT_TRUE(sleep.sleep());
        q.advance(10);
        userKey(keyL, false);
        ASSERT_TRUE(off.has_value());
        EXPECT_NEAR(*off, expected, DisplaySleep::pollSeconds + 0.01);
    }
}

}  // namespace
}  // namespace ombrel::linux_platform
