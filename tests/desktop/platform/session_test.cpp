// The desktop session's services behind the system functions, against fakes on a private bus and
// a real sound server: media players, overviews, screen lockers, volume and display sleep; desktop
// entries (what one says, the names of applications, the program's own autostart entry) and what
// opens them as a launcher does, with detached programs and URLs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QThread>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/linux/app_catalog.h"
#include "platform/linux/autostart_item.h"
#include "platform/linux/dbus_calls.h"
#include "platform/linux/desktop_entry.h"
#include "platform/linux/detached_process.h"
#include "platform/linux/linux_workspace.h"
#include "platform/linux/pulse_volume.h"
#include "platform/linux/x_properties.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "env.h"
#include "fakes/fake_platform.h"
#include "private_bus.h"

namespace ombrel::linux_platform {
namespace {

using namespace platform_test;
using namespace std::chrono_literals;

// A private D-Bus daemon for one test, with fake services that answer from a thread of their
// own, so the code under test may block on calls from the main thread. Its address goes into this
// process's environment, as the private bus's does.
class FakeBus {
  public:
    // Builds the answer to a call (a reply or an error); nothing never answers.
    using Reply = std::optional<QDBusMessage>;
    using Handler = std::function<Reply(const QDBusMessage& call)>;
    // Answers every call with the value (a property read with it as a variant), or never.
    static Handler answer(const QVariant& value = {}) {
        return [value](const QDBusMessage& call) -> Reply {
            const bool get = call.member() == "Get";
            return !value.isValid()
                       ? call.createReply()
                       : call.createReply(get ? QVariant::fromValue(QDBusVariant(value)) : value);
        };
    }
    static Reply silent(const QDBusMessage& /*call*/) { return std::nullopt; }

    FakeBus() {
        worker_->moveToThread(&thread_);
        thread_.start();
    }
    ~FakeBus() {
        onThread([this] { worker_.reset(); });  // with the fake objects
        thread_.quit();
        thread_.wait();
    }
    FakeBus(const FakeBus&) = delete;
    FakeBus& operator=(const FakeBus&) = delete;

    // A connection of the main thread under a fresh name, for the code under test.
    std::string connectClient() { return connect("client-" + QString::number(++clients_)); }
    // Owns the name on a connection of its own and handles every call to the path and below.
    void serve(const QString& service, const QString& path, Handler handler) {
        onThread([&] {
            QDBusConnection c(QString::fromStdString(connect(service)));
            auto* object = new Object(*this, service, std::move(handler));  // NOLINT: Qt parent
            object->setParent(worker_.get());
            c.registerVirtualObject(path, object, QDBusConnection::SubPath);
            c.registerService(service);
        });
    }
    void emitSignal(const QString& service, const QDBusMessage& signal) {
        onThread([&] { QDBusConnection(service + address_).send(signal); });
    }
    // "service member arg..." for each call received, in order; dictionaries as key=value.
    std::vector<std::string> calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }

  private:
    class Object : public QDBusVirtualObject {
      public:
        Object(FakeBus& bus, QString service, Handler handler)
            : bus_(bus), service_(std::move(service)), handler_(std::move(handler)) {}
        QString introspect(const QString& /*path*/) const override { return {}; }
        bool handleMessage(const QDBusMessage& message, const QDBusConnection& c) override {
            QString line = service_ + " " + message.member();
            for (QVariant v : message.arguments()) {
                v = v.canConvert<QDBusVariant>() ? v.value<QDBusVariant>().variant() : v;
                const auto map = v.userType() == qMetaTypeId<QDBusArgument>()
                                     ? qdbus_cast<QVariantMap>(v.value<QDBusArgument>())
                                     : QVariantMap{{"", v}};
                for (auto it = map.begin(); it != map.end(); ++it) {
                    line +=
                        " " + (it.key().isEmpty() ? "" : it.key() + "=") + it.value().toString();
                }
            }
            {
                std::lock_guard lock(bus_.mutex_);
                bus_.calls_.push_back(line.toStdString());
            }
            if (auto reply = handler_(message)) {
                c.send(*reply);
            }
            return true;
        }

      private:
        FakeBus& bus_;
        QString service_;
        Handler handler_;
    };

    // Connection names carry the bus address: Qt keeps them for the life of the process.
    std::string connect(const QString& name) {
        return QDBusConnection::connectToBus(address_, name + address_).name().toStdString();
    }
    void onThread(const std::function<void()>& task) {
        QMetaObject::invokeMethod(worker_.get(), task, Qt::BlockingQueuedConnection);
    }

    xsession::PrivateBus daemon_;
    QString address_ = QString::fromStdString(daemon_.address());
    QThread thread_;
    std::unique_ptr<QObject> worker_ = std::make_unique<QObject>();  // lives in the thread
    std::mutex mutex_;
    std::vector<std::string> calls_;
    int clients_ = 0;
};

using Calls = std::vector<std::string>;

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

TEST(SessionServices, OverviewsAndLockingGoToTheServicesThereAndNeverPretend) {
    // Who is there: the overviews are asked for (o) of KWin (K), GNOME Shell (G) or nobody; the
    // freedesktop locker on its path (a), only on KDE's (k) or silent (s), GNOME's (g), logind
    // (l), a program listening to logind (p), xdg-screensaver that locks (x) or finds no locker
    // (f). Whether the request was carried out and the calls the services received.
    const std::string fdo = "org.freedesktop.ScreenSaver Lock";
    const std::string get = "org.gnome.Shell Get org.gnome.Shell OverviewActive";
    const std::string set = "org.gnome.Shell Set org.gnome.Shell OverviewActive ";
    const std::tuple<std::string, bool, Calls> cases[] = {
        {"oK",
         true,
         {"org.kde.kglobalaccel invokeShortcut Overview",
          "org.kde.kglobalaccel invokeShortcut ExposeClass"}},
        // The second GNOME request closes what the first opened.
        {"oG", true, {get, set + "true", get, set + "false"}},
        {"o", false, {}},
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
    XConnection x;
    fake::FakeTaskQueue queue;
    Display* d = session().display();
    const Atom showing = XInternAtom(d, "_NET_SHOWING_DESKTOP", False);
    const long before = readLong(d, DefaultRootWindow(d), showing).value_or(-1);
    ASSERT_TRUE(before == 0 || before == 1);
    Folder folder;
    std::ofstream(folder / "xdg-screensaver") << "#!/bin/sh\nexit $(/bin/cat " << folder / "status"
                                              << ")\n";
    chmod((folder / "xdg-screensaver").c_str(), 0755);
    std::filesystem::copy_file("/bin/sleep", folder / "xss-lock");
    const std::string path = std::getenv("PATH");
    for (const auto& [setup, works, expected] : cases) {
        SCOPED_TRACE(setup);
        auto has = [&s = setup](char c) { return s.find(c) != std::string::npos; };
        FakeBus bus;
        const FakeBus::Handler other =
            has('s') ? FakeBus::silent : [](const QDBusMessage& call) -> FakeBus::Reply {
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
        if (has('K')) {
            bus.serve("org.kde.KWin", "/KWin", FakeBus::answer());
            bus.serve("org.kde.kglobalaccel", "/component", FakeBus::answer());
        }
        bool overview = false;
        if (has('G')) {
            bus.serve("org.gnome.Shell", "/org/gnome/Shell", [&](const QDBusMessage& call) {
                if (call.member() == "Set") {
                    overview = call.arguments()[2].value<QDBusVariant>().variant().toBool();
                }
                return FakeBus::answer(overview)(call);
            });
        }
        if (has('o')) {
            LinuxDesktopShell shell(x, queue, {bus.connectClient(), bus.connectClient()});
            EXPECT_EQ(shell.send(DesktopShell::Request::missionControl), works);
            EXPECT_EQ(shell.send(DesktopShell::Request::appWindows), works);
            // Showing the desktop is the window manager's, wherever the overviews come from.
            for (long shown : {1 - before, before}) {
                ASSERT_TRUE(shell.send(DesktopShell::Request::showDesktop));
                EXPECT_TRUE(
                    pumpUntil([&] { return readLong(d, DefaultRootWindow(d), showing) == shown; }));
            }
        } else {
            pid_t listener = has('p') ? xsession::XSession::start({folder / "xss-lock", "60"}) : -1;
            EXPECT_TRUE(
                pumpUntil([&] { return ScreenLocker::logindListenerRunning() == has('p'); }));
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
            EXPECT_EQ(locked, std::optional<bool>(works));
            xsession::XSession::stop(listener);
        }
        EXPECT_EQ(bus.calls(), expected);
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

using Args = std::optional<std::vector<std::string>>;

TEST(DesktopEntry, ExecLinesSplitByTheQuotingRules) {
    const std::pair<const char*, Args> cases[] = {
        {"firefox %u", Args{{"firefox"}}},
        {"gimp-2.10 %U", Args{{"gimp-2.10"}}},
        {"/usr/bin/app --new-window %F --flag", Args{{"/usr/bin/app", "--new-window", "--flag"}}},
        {"app %i %c %k", Args{{"app"}}},
        {"app --file=%f", Args{{"app", "--file="}}},
        {"app 100%%", Args{{"app", "100%"}}},
        {R"("/opt/My App/run" --x)", Args{{"/opt/My App/run", "--x"}}},
        {R"(sh -c "echo \"hi\" \$HOME \\ \`x\`")", Args{{"sh", "-c", R"(echo "hi" $HOME \ `x`)"}}},
        {R"(app "%u")", Args{{"app", "%u"}}},
        {"  app   two  ", Args{{"app", "two"}}},
        {R"(app "unclosed)", {}},
        {"", {}},
        {"%U", {}},
        {"app 50%", {}},
    };
    for (const auto& [exec, args] : cases) {
        EXPECT_EQ(splitExec(exec), args) << exec;
    }
    const std::pair<const char*, Args> entries[] = {
        {"[Desktop Entry]\nName=Editor\nExec=editor %F\n", Args{{"editor"}}},
        {"# comment\n[Desktop Entry]\r\nExec = editor --a\r\n", Args{{"editor", "--a"}}},
        {"[Desktop Action a]\nExec=a\n[Desktop Entry]\nExec=main\n[Desktop Action b]\nExec=b\n",
         Args{{"main"}}},
        {"[Desktop Entry]\nExec[de]=localised\nExec=main\n", Args{{"main"}}},
        // \s is a space: a separator unless quoted.
        {"[Desktop Entry]\nExec=my\\sapp --x\n", Args{{"my", "app", "--x"}}},
        {"[Desktop Entry]\nExec=\"my\\sapp\" --x\n", Args{{"my app", "--x"}}},
        {"[Desktop Entry]\nName=No command\n", Args(std::in_place)},
        {"Exec=outside any group\n", {}},
        {"[Desktop Entry]\nExec=\n", Args(std::in_place)},
    };
    for (const auto& [text, args] : entries) {
        const auto entry = parseDesktopEntry(text);
        EXPECT_EQ(entry ? Args(entry->exec) : Args(), args) << text;
    }
    // Activatable over D-Bus, an entry needs no Exec line.
    EXPECT_TRUE(parseDesktopEntry("[Desktop Entry]\nDBusActivatable=true\n").value().startable());
    EXPECT_FALSE(parseDesktopEntry("[Desktop Entry]\nName=No command\n").value().startable());
    EXPECT_EQ(applicationObjectPath("org.example.My-App"), "/org/example/My_App");
}

TEST(LoginItemEntry, WrittenQuotedReadHiddenRemovedAndFailuresReported) {
    const Folder dir;
    const auto file = dir.path() / "autostart" / "ombrel.desktop";
    XdgAutostartItem item(file, "/opt/Ombrel Build/ombrel");
    EXPECT_FALSE(item.enabled());
    EXPECT_EQ(item.setEnabled(true), std::nullopt);
    EXPECT_TRUE(item.enabled());
    EXPECT_EQ(test::readFile(file), XdgAutostartItem::entryText("/opt/Ombrel Build/ombrel"));
    EXPECT_FALSE(std::filesystem::exists(file.string() + ".tmp"));

    std::ofstream(file) << "[Desktop Entry]\nType=Application\nHidden = true\n";
    EXPECT_FALSE(item.enabled());
    std::ofstream(file) << "[Desktop Entry]\nType=Application\n[Desktop Action x]\nHidden=true\n";
    EXPECT_TRUE(item.enabled());

    EXPECT_EQ(item.setEnabled(false), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(file));
    // Turning off what is already off is no failure.
    EXPECT_EQ(item.setEnabled(false), std::nullopt);
    // The autostart folder's place taken by a file: nothing can be written under it.
    std::filesystem::remove_all(dir.path() / "autostart");
    std::ofstream(dir.path() / "autostart") << "not a folder";
    const auto error = item.setEnabled(true);
    EXPECT_TRUE(error && !error->empty());
    EXPECT_FALSE(item.enabled());
    // The Exec key quotes and escapes the program's path so that a launcher reads it back whole.
    for (const std::string exe :
         {"/usr/bin/ombrel", "/a b/ombrel", "/a$b/om\"brel", "/100%/ombrel"}) {
        const auto entry = parseDesktopEntry(XdgAutostartItem::entryText(exe));
        EXPECT_EQ(entry ? Args(entry->exec) : Args(), Args{{exe}}) << exe;
    }
    // Other launchers than ours read the value's escapes strictly: the backslashes are doubled.
    EXPECT_THAT(XdgAutostartItem::entryText("/a$b/om\"brel"),
                ::testing::HasSubstr(R"(Exec="/a\\$b/om\\"brel")"
                                     "\n"));
}

TEST(ApplicationNames, FoundByWindowClassOrFileNameIgnoringCase) {
    const Folder first;
    const Folder second;
    test::writeFile(first.path() / "applications" / "org.example.Editor.desktop",
                    "[Desktop Entry]\nName=Text Editor\nStartupWMClass=Edit-Main\n"
                    "[Desktop Action new]\nName=New Window\n");
    test::writeFile(first.path() / "applications" / "viewer.desktop",
                    "[Desktop Entry]\nName=Viewer (user copy)\n");
    test::writeFile(second.path() / "applications" / "viewer.desktop",
                    "[Desktop Entry]\nName=Viewer\n");
    test::writeFile(second.path() / "applications" / "kde" / "konsole.desktop",
                    "# comment\n[Desktop Entry]\nName = Konsole\n");
    test::writeFile(second.path() / "applications" / "nameless.desktop",
                    "[Desktop Entry]\nExec=x\n");
    const AppCatalog catalog({first.path(), second.path()});

    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"edit-main", "Text Editor"},
        {"Org.example.Editor", "Text Editor"},
        {"viewer", "Viewer (user copy)"},
        {"konsole", "Konsole"},
        {"nameless", std::nullopt},
        {"unknown", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [id, name] : cases) {
        EXPECT_EQ(catalog.nameFor(id), name) << id;
    }
    EXPECT_EQ(catalog.displayName("unknown"), "unknown");
}

// URLs, desktop entries, programs and scripts, opened as a launcher opens them.
TEST(Workspace, UrlsGoToXdgOpenAndEntriesBringTheirAppForwardOrStartDetachedLikeALauncher) {
    const Folder temp;
    // The lines of a file once it holds that many, sorted.
    const auto lines = [&](const std::string& name, std::size_t count) {
        std::vector<std::string> out;
        pumpUntil([&] {
            std::istringstream in(test::readFile(temp / name));
            out.clear();
            for (std::string line; std::getline(in, line);) {
                out.push_back(line);
            }
            return out.size() >= count;
        });
        std::sort(out.begin(), out.end());
        return out;
    };
    // Stand-ins for the desktop's programs come first in PATH: xdg-open records what it was
    // given; each start of "report" reports its first argument, its parent, its folder and its
    // startup id.
    const std::pair<const char*, std::string> scripts[] = {
        {"xdg-open", "echo \"$#:$1\" >> " + temp / "opened"},
        {"report", "echo \"$1 $PPID $PWD $DESKTOP_STARTUP_ID\" >> " + temp / "out"},
        {"x-terminal-emulator",
         "echo \"terminal $PPID $1\" >> " + temp / "out" + "\nshift\nexec \"$@\""},
    };
    for (const auto& [name, text] : scripts) {
        test::writeFile(temp / name, "#!/bin/sh\n" + text + "\n");
        chmod((temp / name).c_str(), 0755);
    }
    const std::string path = std::getenv("PATH");
    setenv("PATH", (temp.path().string() + ":" + path).c_str(), 1);
    FakeBus bus;
    bus.serve("org.ombrel.TestApp", "/org/ombrel/TestApp", FakeBus::answer());
    XConnection x;
    LinuxWorkspace workspace(x, {bus.connectClient(), {}});

    const std::pair<const char*, bool> urls[] = {
        {"https://example.com/a b", false},
        {"no scheme at all", false},
        {"example.com/a", false},
        {"http://[::1", false},
        {"", false},
        {"mailto:someone@example.com", true},
        {"https://example.com/path?q=1#frag", true},
    };
    for (auto [text, valid] : urls) {
        EXPECT_EQ(workspace.openURL(text), valid) << text;
    }
    EXPECT_EQ(lines("opened", 2), (std::vector<std::string>{"1:https://example.com/path?q=1#frag",
                                                            "1:mailto:someone@example.com"}));
    // Shell actions run through the login shell.
    const SystemPrograms p = linuxPrograms();
    EXPECT_TRUE(!p.shell.empty() && p.shell.front() == '/' && access(p.shell.c_str(), X_OK) == 0)
        << p.shell;

    Display* d = session().display();
    XSelectInput(d, DefaultRootWindow(d), PropertyChangeMask);
    std::filesystem::create_directory(temp.path() / "work");
    const std::string report = "Exec=" + temp / "report";
    const std::pair<const char*, std::string> entries[] = {
        {"editor", report + " editor\nStartupWMClass=OmbrelEditor"},
        {"OmbrelViewer", report + " viewer"},
        {"plain", report + " plain\nPath=" + temp / "work" + "\nStartupNotify=true\nName=Plain"},
        {"term", report + " term\nTerminal=true"},
        {"org.ombrel.TestApp", report + " activatable\nDBusActivatable=true"},
        {"org.ombrel.Missing", report + " missing\nDBusActivatable=true"},
        {"app", report + " entry %U"},
        {"broken", "Exec=\"unclosed"},
    };
    for (const auto& [name, keys] : entries) {
        test::writeFile(temp / (std::string(name) + ".desktop"),
                        "[Desktop Entry]\nType=Application\n" + keys + "\n");
    }

    // Running applications come forward: by StartupWMClass, else by the file's name.
    const Window editor = session().createWindow("editor", "OmbrelEditor", 10, 10, 200, 150);
    const Window viewer = session().createWindow("ombrelviewer", "OmbrelViewer", 30, 30, 200, 150);
    const Window other = session().createWindow("other", "OmbrelOther", 50, 50, 200, 150);
    ASSERT_TRUE(session().activate(other));
    workspace.openApplication(temp / "editor.desktop");
    EXPECT_TRUE(pumpUntil([&] { return session().activeWindow() == editor; }));
    workspace.openApplication(temp / "OmbrelViewer.desktop");
    EXPECT_TRUE(pumpUntil([&] { return session().activeWindow() == viewer; }));
    // Others start, as do programs and scripts; broken entries and missing files are ignored.
    for (const char* name :
         {"plain", "term", "org.ombrel.TestApp", "org.ombrel.Missing", "app", "broken", "none"}) {
        workspace.openApplication(temp / (std::string(name) + ".desktop"));
    }
    workspace.openApplication(temp / "report");
    for (int i = 0; i < 3; ++i) {
        workspace.launchProcess(temp / "report", {"launched"});
    }
    workspace.launchProcess("/nonexistent/program", {});
    EXPECT_FALSE(startDetached("no-such-program-anywhere", {}));
    const auto got = lines("out", 9);
    setenv("PATH", path.c_str(), 1);
    for (Window w : {editor, viewer, other}) {
        XDestroyWindow(d, w);
    }
    // Entries' programs run in the entry's folder, or ours, with a startup id that carries the
    // time of the request; a terminal runs the one that asks for it. None is our child.
    const std::string cwd = std::filesystem::current_path();
    const std::string id = " ombrel-[0-9]+-[0-9]+_TIME[1-9][0-9]*$";
    const std::string expected[] = {" [0-9]+ .*",
                                    "entry [0-9]+ .*",
                                    "launched [0-9]+ .*",
                                    "launched [0-9]+ .*",
                                    "launched [0-9]+ .*",
                                    "missing [0-9]+ " + cwd + id,
                                    "plain [0-9]+ " + temp / "work" + id,
                                    "term [0-9]+ " + cwd + id,
                                    "terminal [0-9]+ -e"};
    ASSERT_EQ(got.size(), 9U);
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_TRUE(std::regex_match(got[i], std::regex(expected[i]))) << got[i];
        EXPECT_EQ(got[i].find(" " + std::to_string(getpid()) + " "), std::string::npos) << got[i];
    }
    EXPECT_LE(waitpid(-1, nullptr, WNOHANG), 0) << "a child was left unreaped";
    const auto calls = bus.calls();
    ASSERT_EQ(calls.size(), 1U);
    EXPECT_EQ(calls[0].substr(0, 54), "org.ombrel.TestApp Activate desktop-startup-id=ombrel-");
    // The launch of an entry that ends its own feedback is announced to the desktop.
    std::string announced;
    for (XEvent e; XCheckTypedEvent(d, ClientMessage, &e);) {
        announced.append(e.xclient.data.b, 20);
    }
    XSelectInput(d, DefaultRootWindow(d), 0);
    EXPECT_EQ(announced.substr(0, 16), "new: ID=\"ombrel-");
    EXPECT_NE(announced.find("NAME=\"Plain\""), std::string::npos) << announced;
}

}  // namespace
}  // namespace ombrel::linux_platform
