// The settings window as the program shows it, under a real window manager (openbox on Xvfb):
// moved and shrunk by another client, driven with keys sent through the X server, and following
// the colour scheme that a settings portal on a private session bus announces.
#include <gtest/gtest.h>

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
#include "support/settings_fakes.h"
#include "support/temp_dir.h"

// Last: Xlib's macros collide with Qt and GoogleTest names. The shell tests' environment gives
// these tests their X session, private session bus and Qt application.
#include "shell_env.h"

namespace ombrel {
namespace {

using shell_test::pumpUntil;
using xsession::XSession;

QRect global(const QWidget* w) {
    return {w->mapToGlobal(QPoint(0, 0)), w->size()};
}

// Keys and window requests from another client, as people and their tools send them.
int xdotool(std::vector<std::string> args) {
    args.insert(args.begin(), "xdotool");
    return XSession::run(args);
}

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
    test::FakeLoginItem login_;
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
    EXPECT_TRUE(pumpUntil([&] { return store_.config() == original; }));
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

}  // namespace
}  // namespace ombrel

#include "window_test.moc"
