// The desktop session's services behind the system functions, against fakes on a private bus and
// a real sound server: media players, overviews, screen lockers, volume and display sleep.
#include "fake_bus.h"

#include <gtest/gtest.h>

#include "platform/linux/dbus_calls.h"
#include "platform/linux/linux_workspace.h"
#include "platform/linux/pulse_volume.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "env.h"
#include "fakes/fake_platform.h"
#include "support/temp_dir.h"

namespace ombrel::linux_platform {
namespace {

using namespace platform_test;
using namespace std::chrono_literals;

// The shared X session also brings the Qt application up.
class SessionServices : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(session().ready()) << session().failure(); }
    const test::TempDir folder_;
    [[nodiscard]] std::string file(const std::string& name) const { return folder_.path() / name; }
};

TEST_F(SessionServices, EachRequestGoesToTheServicesThereAndIsAnsweredTruly) {
    // Stand-ins for xdg-screensaver, exiting with the status in a file, and for xss-lock.
    std::ofstream(file("xdg-screensaver"))
        << "#!/bin/sh\nexit $(/bin/cat " << file("status") << ")\n";
    chmod(file("xdg-screensaver").c_str(), 0755);
    std::filesystem::copy_file("/bin/sleep", file("xss-lock"));
    const std::string path = std::getenv("PATH");
    XConnection x;
    fake::FakeTaskQueue queue;
    for (const auto& c : records("session.cases", "services")) {
        SCOPED_TRACE(c[0]);
        FakeBus bus;
        const std::string client = bus.connectClient();
        LinuxDesktopShell shell(x, queue, {client, bus.connectClient()});
        pid_t listener = -1;
        std::string tools = "/nonexistent";
        std::istringstream words(c[1]);
        for (std::string w; words >> w;) {
            if (w == "listener") {
                listener = xsession::XSession::start({file("xss-lock"), "60"});
            } else if (w.starts_with("xdg-screensaver=")) {
                std::ofstream(file("status")) << w.back();
                tools = folder_.path();
            } else if (w == "stopped") {
                bus.stop();
            } else if (w.starts_with("signal:")) {
                const QString player = "org.mpris.MediaPlayer2." + QString::fromStdString(&w[7]);
                QDBusMessage signal = QDBusMessage::createSignal("/org/mpris/MediaPlayer2",
                                                                 "org.freedesktop.DBus.Properties",
                                                                 "PropertiesChanged");
                signal << "org.mpris.MediaPlayer2.Player"
                       << QVariantMap{{"PlaybackStatus", "Paused"}} << QStringList();
                bus.emitSignal(player, signal);
                // Once an answer from the same player is back, its signal waits in the queue.
                callShort(QDBusConnection(QString::fromStdString(client)),
                          QDBusMessage::createMethodCall(player, "/", "x.y", "ping"));
                pump();
            } else {
                bus.serve(w);
            }
        }
        EXPECT_TRUE(
            pumpUntil([&] { return ScreenLocker::logindListenerRunning() == (listener > 0); }));
        setenv("PATH", tools.c_str(), 1);
        const auto start = std::chrono::steady_clock::now();
        std::deque<std::optional<bool>> answers;
        std::istringstream requests(c[2]);
        for (std::string r; requests >> r;) {
            auto& answer = answers.emplace_back();
            if (r == "next") {
                answer = shell.controlPlayer(DesktopShell::Player::next);
            } else if (r == "lock") {
                shell.lockScreen([&answer](bool locked) { answer = locked; });
            } else {
                answer = shell.send(r == "overview" ? DesktopShell::Request::missionControl
                                                    : DesktopShell::Request::appWindows);
            }
        }
        setenv("PATH", path.c_str(), 1);
        std::vector<std::string> expected(c.begin() + 4, c.end());
        for (std::string& call : expected) {
            if (call.ends_with("$PID")) {
                call.replace(call.size() - 4, 4, std::to_string(getpid()));
            }
        }
        std::string answered;
        std::vector<std::string> calls;
        pumpUntil([&] {
            answered.clear();
            for (const auto& a : answers) {
                answered += (answered.empty() ? "" : " ") + std::string(!a   ? "?"
                                                                        : *a ? "true"
                                                                             : "false");
            }
            calls = bus.calls();
            std::erase_if(calls, [](const std::string& call) {
                return call.find(" Get ") != std::string::npos || call.ends_with(" ping");
            });
            return answered == c[3] && calls == expected;
        });
        EXPECT_EQ(answered, c[3]);
        EXPECT_EQ(calls, expected);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
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

TEST_F(SessionServices, VolumeStepsFivePercentUpToTheFullLevelAndMuteToggles) {
    pid_t server = xsession::XSession::start(
        {"env", "HOME=" + folder_.path().string(), "XDG_RUNTIME_DIR=" + folder_.path().string(),
         "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "-L",
         "module-null-sink sink_name=ombrel", "-L",
         "module-native-protocol-unix auth-anonymous=1 socket=" + file("native")});
    ASSERT_TRUE(
        xsession::XSession::waitUntil([&] { return std::filesystem::exists(file("native")); }, 5s));
    setenv("PULSE_SERVER", ("unix:" + file("native")).c_str(), 1);
    using V = DesktopShell::Volume;
    for (const auto& c : records("session.cases", "volume")) {
        SCOPED_TRACE(c[0] + " " + c[1]);
        const std::vector<double> before = numbers(c[0]);
        const std::vector<double> after = numbers(c[2]);
        pactl("set-sink-volume ombrel " + std::to_string(int(before[0])) + "%");
        pactl("set-sink-mute ombrel " + std::to_string(int(before[1])));
        EXPECT_TRUE(changeVolume(c[1] == "up" ? V::up : c[1] == "down" ? V::down : V::mute));
        const std::string volume = pactl("get-sink-volume ombrel");
        EXPECT_NE(volume.find(" " + std::to_string(int(after[0])) + "% "), std::string::npos)
            << volume;
        EXPECT_EQ(pactl("get-sink-mute ombrel"), after[1] != 0 ? "Mute: yes\n" : "Mute: no\n");
    }
    xsession::XSession::stop(server);
    // No sound server: the caller falls back to the media keys.
    EXPECT_FALSE(changeVolume(V::up));
    unsetenv("PULSE_SERVER");
}

TEST_F(SessionServices, DisplaySleepWaitsForTheTriggersKeysToComeUp) {
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
