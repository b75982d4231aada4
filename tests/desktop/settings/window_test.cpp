// The settings window as the program shows it, under a real window manager: moved and shrunk by
// another client, driven with keys sent through the X server, and following the colour scheme a
// settings portal on a private session bus announces.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QMainWindow>
#include <QMutex>
#include <QThread>
#include <fstream>

#include "app/app_delegate.h"
#include "art/icon_art.h"
#include "config/store.h"
#include "settings/appearance.h"
#include "settings/binding_editor.h"
#include "settings/rule_model.h"
#include "settings/rule_pane.h"
#include "settings/settings_view.h"
#include "settings/sidebar.h"
#include "settings/style.h"
#include "settings/widgets.h"
#include "support.h"

// Last: Xlib's macros collide with Qt and GoogleTest names.
#include "x_session.h"

extern char** environ;

namespace ombrel {
namespace {

using xsession::XSession;

bool pumpUntil(const std::function<bool()>& cond,
               std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    return XSession::waitUntil(cond, timeout, [] { QCoreApplication::processEvents(); });
}

QRect global(const QWidget* w) {
    return {w->mapToGlobal(QPoint(0, 0)), w->size()};
}

// Keys and window requests from another client, as people and their tools send them.
int xdotool(std::vector<std::string> args) {
    args.insert(args.begin(), "xdotool");
    return XSession::run(args);
}

class NoLogin final : public LoginItem {
  public:
    [[nodiscard]] bool enabled() const override { return false; }
    std::optional<std::string> setEnabled(bool) override { return std::nullopt; }
};

class ProgramWindow : public ::testing::Test {
  protected:
    void launch(Pane pane) {
        Config config;
        config.bindings = {test::mouseRule(2), test::hotkeyRule(123, 6), test::hotkeyRule(124, 6)};
        store_.setConfig(config);
        nav_.setPane(pane);
        AppDelegate::Hooks hooks;
        hooks.settingsContent = [this] { return makeSettingsView(deps_); };
        hooks.statusGlyph = art::renderTrayGlyph;
        // No session bus: run requests are not part of these tests.
        delegate_ =
            std::make_unique<AppDelegate>(store_, std::move(hooks), QDBusConnection("none"));
        delegate_->launch();
        window_ = delegate_->settingsWindow();
        view_ = dynamic_cast<SettingsView*>(window_->centralWidget());
        ASSERT_NE(view_, nullptr);
        ASSERT_TRUE(pumpUntil([&] { return window_->isActiveWindow(); }));
    }
    [[nodiscard]] std::string windowId() const { return std::to_string(window_->winId()); }

    test::TempDir dir_;
    Store store_{dir_.path()};
    test::FakeEngine engine_;
    Nav nav_;
    NoLogin login_;
    SettingsDeps deps_{store_,
                       engine_,
                       nav_,
                       login_,
                       [] { return int64_t{1}; },
                       [](quint32) { return std::optional<int64_t>(); },
                       [] { return std::vector<std::string>{"xterm"}; },
                       [](const std::string& id) { return id; }};
    std::unique_ptr<AppDelegate> delegate_;
    QMainWindow* window_ = nullptr;
    SettingsView* view_ = nullptr;
};

TEST_F(ProgramWindow, SheetHangsFromTheWindowWhileItGrowsAndTheWindowMoves) {
    launch(Pane::mouse);
    dynamic_cast<RulePane*>(view_->currentPane())->addButton()->click();
    BindingEditor* sheet = view_->editor();
    ASSERT_NE(sheet, nullptr);
    const auto hanging = [&] {
        const QRect s = global(sheet);
        const QRect w = global(view_);
        return sheet->isVisible() && w.contains(s) && s.top() == w.top() &&
               std::abs(s.center().x() - w.center().x()) <= 1;
    };
    // The new middle-button rule clashes with the stored one: the conflict line is shown.
    EXPECT_FALSE(sheet->conflictText().isEmpty());
    EXPECT_TRUE(pumpUntil(hanging));
    sheet->buttonPicker()->setCurrentIndex(2);
    EXPECT_TRUE(sheet->conflictText().isEmpty());
    EXPECT_TRUE(pumpUntil(hanging));
    const QPoint before = window_->pos();
    ASSERT_EQ(xdotool({"windowmove", windowId(), "310", "170"}), 0);
    ASSERT_TRUE(pumpUntil([&] { return window_->pos() != before; }));
    EXPECT_TRUE(pumpUntil(hanging));
    sheet->reject();
}

TEST_F(ProgramWindow, ContentIsFullSizeAndNeverSmallerThanItsMinimumUnderTheMenuBar) {
    launch(Pane::keyboard);
    EXPECT_EQ(view_->size(), QSize(860, 580));
    const QSize before = window_->size();
    ASSERT_EQ(xdotool({"windowsize", windowId(), "200", "150"}), 0);
    pumpUntil([&] { return window_->size() != before; }, std::chrono::seconds(2));
    // The window manager keeps the window at its least; the content keeps its own least.
    EXPECT_LT(window_->height(), before.height());
    EXPECT_GE(view_->width(), view_->minimumWidth());
    EXPECT_GE(view_->height(), view_->minimumHeight());
    // The status row at the foot of the sidebar is whole.
    EXPECT_TRUE(global(view_).contains(global(view_->sidebar()->engineSwitch())));
}

TEST_F(ProgramWindow, KeysDeleteARuleAndEditUndoBringsItBackInItsPlace) {
    launch(Pane::keyboard);
    const Config original = store_.config();
    view_->sidebar()->item(Pane::keyboard)->setFocus(Qt::TabFocusReason);
    // Sidebar, switch, Add, then the first row's Edit and Delete.
    ASSERT_EQ(xdotool({"key", "Tab", "Tab", "Tab", "Tab", "space"}), 0);
    ASSERT_TRUE(pumpUntil([&] { return store_.config().bindings.size() == 2; }));
    EXPECT_EQ(store_.config().bindings[1], original.bindings[2]);
    ASSERT_EQ(xdotool({"key", "ctrl+z"}), 0);
    ASSERT_TRUE(pumpUntil([&] { return store_.config() == original; }));
    // Once is all: the second undo has nothing left to bring back.
    ASSERT_EQ(xdotool({"key", "ctrl+z"}), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(store_.config(), original);
}

// The settings portal of a desktop, answering on a connection and thread of its own (the
// program's read blocks its own thread).
class FakePortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
  public:
    void set(const QString& nameSpace, const QString& key, const QVariant& value) {
        const QMutexLocker lock(&mutex_);
        values_[nameSpace + " " + key] = value;
    }
    void announce(const QString& nameSpace, const QString& key, const QVariant& value) {
        set(nameSpace, key, value);
        QDBusMessage signal = QDBusMessage::createSignal(
            "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Settings", "SettingChanged");
        signal << nameSpace << key << QVariant::fromValue(QDBusVariant(value));
        QDBusConnection(kConnection).send(signal);
    }
    static constexpr const char* kConnection = "fake-portal";

  public slots:
    QDBusVariant Read(const QString& nameSpace, const QString& key) {
        const QMutexLocker lock(&mutex_);
        // Wrapped twice, as the real portal's Read answers.
        return QDBusVariant(
            QVariant::fromValue(QDBusVariant(values_.value(nameSpace + " " + key, 0u))));
    }

  private:
    QMutex mutex_;
    QMap<QString, QVariant> values_;
};

TEST(DesktopColourScheme, PaletteFollowsThePortalStandardKeyFirstThenGnomes) {
    QThread thread;
    auto portal = std::make_unique<FakePortal>();
    portal->set("org.freedesktop.appearance", "color-scheme", 1u);
    portal->moveToThread(&thread);
    thread.start();
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, FakePortal::kConnection);
    ASSERT_TRUE(bus.registerObject("/org/freedesktop/portal/desktop", portal.get(),
                                   QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(bus.registerService("org.freedesktop.portal.Desktop"));

    QApplication::setPalette(style::lightPalette());
    auto follower = std::make_unique<appearance::Follower>();
    EXPECT_TRUE(style::isDark(QApplication::palette()));
    portal->announce("org.freedesktop.appearance", "color-scheme", 2u);
    EXPECT_TRUE(pumpUntil([] { return !style::isDark(QApplication::palette()); }));
    // No standard preference any more: GNOME's own key decides.
    portal->announce("org.freedesktop.appearance", "color-scheme", 0u);
    portal->announce("org.gnome.desktop.interface", "color-scheme", QString("prefer-dark"));
    EXPECT_TRUE(pumpUntil([] { return style::isDark(QApplication::palette()); }));

    follower.reset();
    bus.unregisterService("org.freedesktop.portal.Desktop");
    QDBusConnection::disconnectFromBus(FakePortal::kConnection);
    thread.quit();
    thread.wait();
    QApplication::setPalette(style::lightPalette());
}

// A dbus-daemon of the tests' own, so they neither see nor disturb the user's session bus.
pid_t startBus() {
    int fds[2];
    if (pipe(fds) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::array<std::string, 4> argv = {"dbus-daemon", "--session", "--nofork", "--print-address=1"};
    std::array<char*, 5> args = {argv[0].data(), argv[1].data(), argv[2].data(), argv[3].data(),
                                 nullptr};
    pid_t pid = -1;
    posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string address;
    char c = 0;
    while (pid > 0 && read(fds[0], &c, 1) == 1 && c != '\n') {
        address.push_back(c);
    }
    close(fds[0]);
    setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    return pid;
}

}  // namespace
}  // namespace ombrel

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ombrel::xsession::XSession session;
    if (!session.ready()) {
        std::fprintf(stderr, "no X session: %s\n", session.failure().c_str());
        return 1;
    }
    const pid_t bus = ombrel::startBus();
    ombrel::test::TempDir runtime;
    std::filesystem::permissions(runtime.path(), std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    int result = 0;
    {
        QApplication app(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        QApplication::setPalette(ombrel::style::lightPalette());
        result = RUN_ALL_TESTS();
    }
    if (bus > 0) {
        kill(bus, SIGTERM);
        waitpid(bus, nullptr, 0);
    }
    return result;
}

#include "window_test.moc"
