// The application delegate in this process, on the shared X session and session bus: the launch
// sequence, the tray item and its dimmed glyph, the settings window and its editing commands; the
// program's settings window under the window manager, moved and shrunk by another client, driven
// with keys sent through the X server, and following the colour scheme a settings portal announces.
// Run requests from launch on: program_test.cpp.
#include "app/app_delegate.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMutex>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QThread>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "art/icon_art.h"
#include "config/store.h"
#include "settings/appearance.h"
#include "settings/binding_editor.h"
#include "settings/rule_pane.h"
#include "settings/settings_view.h"
#include "settings/sidebar.h"
#include "settings/style.h"
#include "settings/widgets.h"
#include "support/settings_fakes.h"
#include "support/temp_dir.h"

// Last: Xlib macros collide with Qt and GoogleTest names.
#include "shell_env.h"

namespace ombrel::shell_test {
namespace {

std::vector<QRgb> pixels(const QImage& image) {
    std::vector<QRgb> all;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            all.push_back(image.pixel(x, y));
        }
    }
    return all;
}

// Sum of the alpha of the glyph the tray shows, at 18 pixels.
long glyphInk(const QSystemTrayIcon& item) {
    long ink = 0;
    for (const QRgb p : pixels(item.icon().pixmap(AppDelegate::glyphPoints).toImage())) {
        ink += qAlpha(p);
    }
    return ink;
}

// A tray is a separate program that embeds the item in its own time; a loaded machine is slow.
constexpr std::chrono::seconds trayTimeout{15};

class DelegateTest : public ::testing::Test {
  protected:
    // Writes a settings file with the engine on or off, loads it into a fresh store, launches.
    void launch(bool engineEnabled, SettingsContentFactory content = placeholderSettingsContent,
                std::vector<Rule> bindings = {}) {
        writeSettings(Config{engineEnabled, true, Mods(6), std::move(bindings)});
        store = std::make_unique<Store>(folder);
        AppDelegate::Hooks hooks;
        hooks.startEngine = [this] { ++engineStarts; };
        hooks.settingsContent = std::move(content);
        hooks.statusGlyph = art::renderTrayGlyph;
        delegate = std::make_unique<AppDelegate>(*store, std::move(hooks));
        delegate->launch();
        window = delegate->settingsWindow();
        ASSERT_NE(window, nullptr);
    }

    // What the program's own settings view is given; the delegate, its window and the view go
    // first.
    test::FakeEngine engine;
    Nav nav;
    test::FakeLoginItem login;
    std::optional<SettingsDeps> deps;
    const std::filesystem::path folder = configHome() / "Ombrel";
    std::unique_ptr<Store> store;
    std::unique_ptr<AppDelegate> delegate;
    QMainWindow* window = nullptr;
    int engineStarts = 0;
};

// What the screen shows where the tray says the item is; nothing while no tray shows it.
QImage trayShot(const QSystemTrayIcon& item) {
    const QRect r = item.geometry();
    return r.x() <= 0 ? QImage()
                      : QGuiApplication::primaryScreen()
                            ->grabWindow(0, r.x(), r.y(), r.width(), r.height())
                            .toImage();
}

// Whether that shows a glyph: more than two colours (the panel alone, or the bare root window,
// show one).
bool glyphOnScreen(const QSystemTrayIcon& item) {
    const std::vector<QRgb> all = pixels(trayShot(item));
    return std::set<QRgb>(all.begin(), all.end()).size() > 2;
}

// The launch starts the engine and shows the window, whose Edit menu works on the focused text
// field; closing only hides the window, and showing it again builds nothing new. The glyph is
// dimmed while the engine is off, whoever switches it, and only then redrawn. The program starts
// before the panel at login: a tray that comes up later gets the item, shows the dimmed glyph
// once the engine is switched off, and takes the item away when it ends.
TEST_F(DelegateTest, LaunchTheEditMenuAndTheDimmedGlyphInATrayStartedLater) {
    ASSERT_TRUE(pumpUntil([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }, trayTimeout));
    QLineEdit* field = nullptr;
    int built = 0;
    launch(false, [&field, &built] {
        ++built;
        auto edit = std::make_unique<QLineEdit>("drawn circle");
        field = edit.get();
        return std::unique_ptr<QWidget>(edit.release());
    });
    EXPECT_EQ(engineStarts, 1);
    ASSERT_NE(delegate->statusItem(), nullptr);
    EXPECT_EQ(delegate->statusItem()->contextMenu(), delegate->statusMenu());
    EXPECT_EQ(window->centralWidget()->size(), AppDelegate::contentSize);
    // Qt may give the window a new native id when it is shown again: asked for each time.
    ASSERT_TRUE(pumpUntil([&] { return isViewable(window->winId()) && window->isActiveWindow(); }));
    field->setFocus();
    ASSERT_TRUE(pumpUntil([&] { return field->hasFocus(); }));
    const auto command = [&](const QString& menu, const QString& item) {
        for (QAction* m : window->menuBar()->actions()) {
            for (QAction* a : m->text() == menu ? m->menu()->actions() : QList<QAction*>()) {
                if (a->text() == item) {
                    a->trigger();
                    return true;
                }
            }
        }
        return false;
    };
    ASSERT_TRUE(command("Edit", "Select All"));
    EXPECT_EQ(field->selectedText(), "drawn circle");
    ASSERT_TRUE(command("Edit", "Cut"));
    EXPECT_EQ(field->text(), "");
    ASSERT_TRUE(command("Edit", "Undo"));
    EXPECT_EQ(field->text(), "drawn circle");
    field->deselect();
    field->setCursorPosition(0);
    ASSERT_TRUE(command("Edit", "Paste"));
    EXPECT_EQ(field->text(), "drawn circledrawn circle");

    ASSERT_TRUE(command("Window", "Close"));
    EXPECT_TRUE(pumpUntil([&] { return !isViewable(window->winId()); }));
    delegate->showSettings();
    EXPECT_EQ(delegate->settingsWindow(), window);
    EXPECT_TRUE(pumpUntil([&] { return isViewable(window->winId()); }));
    EXPECT_EQ(built, 1);

    const std::string original = test::readFile(store->fileURL());
    QSystemTrayIcon& item = *delegate->statusItem();
    QAction& enabled = *delegate->enabledItem();
    // Whether the glyph is dimmed, and whether the menu item is checked.
    const auto shown = [&] { return std::pair(delegate->appearsDisabled(), enabled.isChecked()); };
    EXPECT_EQ(shown(), std::pair(true, false)) << "off in the file: dimmed from the start";
    const long dimInk = glyphInk(item);

    // Another view switches the engine on; a change of anything else leaves the glyph alone.
    Config config = store->config();
    config.engineEnabled = true;
    store->setConfig(config);
    EXPECT_EQ(shown(), std::pair(false, true));
    EXPECT_LT(dimInk, glyphInk(item) * 3 / 4) << "the dimmed glyph must be visibly fainter";
    const qint64 iconKey = item.icon().cacheKey();
    config.snapEnabled = !config.snapEnabled;
    store->setConfig(config);
    EXPECT_EQ(item.icon().cacheKey(), iconKey);
    config.snapEnabled = !config.snapEnabled;
    store->setConfig(config);

    auto tray = std::make_unique<Program>(std::vector<std::string>{
        "trayer", "--edge", "top", "--align", "right", "--width", "10", "--height", "24",
        "--SetDockType", "true", "--expand", "false", "--transparent", "false"});
    ASSERT_TRUE(pumpUntil([&] { return glyphOnScreen(item); }, trayTimeout))
        << "the tray never showed the item";
    const QImage awake = trayShot(item);
    // The menu item switches it off and on again, saving each time; the file is as it was.
    enabled.trigger();
    EXPECT_EQ(shown(), std::pair(true, false));
    EXPECT_EQ(glyphInk(item), dimInk);
    EXPECT_EQ(test::readFile(store->fileURL()), original);
    EXPECT_TRUE(pumpUntil([&] { return trayShot(item) != awake; }, trayTimeout))
        << "the tray kept the bright glyph after the engine was switched off";
    enabled.trigger();
    EXPECT_EQ(shown(), std::pair(false, true));
    EXPECT_TRUE(Store(folder).config().engineEnabled);
    tray.reset();
    EXPECT_TRUE(pumpUntil([&] { return !glyphOnScreen(item); }, trayTimeout));
}

QRect global(const QWidget* w) {
    return {w->mapToGlobal(QPoint(0, 0)), w->size()};
}

// The sheet hangs from the window while it grows and the window moves. Keys delete a rule and
// Edit ▸ Undo brings it back in its place; shrunk by another client, the window keeps its content
// whole, under the menu bar.
TEST_F(DelegateTest, SheetHangsKeysDeleteAndUndoAndTheContentNeverShrinks) {
    nav.setPane(Pane::mouse);
    const auto content = [this] {
        deps.emplace(SettingsDeps{*store, engine, nav, login, [] { return int64_t{1}; },
                                  [](quint32) { return std::optional<int64_t>(); },
                                  [] { return std::vector<std::string>{"xterm"}; }});
        return makeSettingsView(*deps);
    };
    launch(true, content, {test::mouseRule(2), test::hotkeyRule(123, 6), test::hotkeyRule(124, 6)});
    auto* view = dynamic_cast<SettingsView*>(window->centralWidget());
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return window->isActiveWindow(); }));
    EXPECT_EQ(view->size(), QSize(860, 580));
    const std::string windowId = std::to_string(window->winId());

    dynamic_cast<RulePane*>(view->currentPane())->addButton()->click();
    BindingEditor* sheet = view->editor();
    ASSERT_NE(sheet, nullptr);
    const auto hanging = [&] {
        const QRect s = global(sheet);
        const QRect w = global(view);
        return sheet->isVisible() && w.contains(s) && s.top() == w.top() &&
               std::abs(s.center().x() - w.center().x()) <= 1;
    };
    // The new middle-button rule clashes with the stored one: the conflict line is shown.
    EXPECT_FALSE(sheet->conflictText().isEmpty());
    EXPECT_TRUE(pumpUntil(hanging));
    sheet->buttonPicker()->setCurrentIndex(2);
    EXPECT_TRUE(sheet->conflictText().isEmpty());
    EXPECT_TRUE(pumpUntil(hanging));
    const QPoint at = window->pos();
    ASSERT_EQ(xsession::XSession::run({"xdotool", "windowmove", windowId, "310", "170"}), 0);
    ASSERT_TRUE(pumpUntil([&] { return window->pos() != at; }));
    EXPECT_TRUE(pumpUntil(hanging));
    sheet->reject();

    nav.setPane(Pane::keyboard);
    const Config original = store->config();
    view->sidebar()->item(Pane::keyboard)->setFocus(Qt::TabFocusReason);
    // Sidebar, switch, Add, then the first row's Edit and Delete.
    ASSERT_EQ(xsession::XSession::run({"xdotool", "key", "Tab", "Tab", "Tab", "Tab", "space"}), 0);
    ASSERT_TRUE(pumpUntil([&] { return store->config().bindings.size() == 2; }));
    EXPECT_EQ(store->config().bindings[1], original.bindings[2]);
    ASSERT_EQ(xsession::XSession::run({"xdotool", "key", "ctrl+z"}), 0);
    EXPECT_TRUE(pumpUntil([&] { return store->config() == original; }));

    const QSize before = window->size();
    ASSERT_EQ(xsession::XSession::run({"xdotool", "windowsize", windowId, "200", "150"}), 0);
    pumpUntil([&] { return window->size() != before; }, std::chrono::seconds(2));
    // The window manager keeps the window at its least; the content keeps its own least.
    EXPECT_LT(window->height(), before.height());
    EXPECT_GE(view->width(), view->minimumWidth());
    EXPECT_GE(view->height(), view->minimumHeight());
    // The status row at the foot of the sidebar is whole.
    EXPECT_TRUE(global(view).contains(global(view->sidebar()->engineSwitch())));
}

// The settings portal of a desktop, answering on a connection and thread of its own (the
// program's read blocks its own thread).
class FakePortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
  public:
    void announce(const QString& nameSpace, const QString& key, const QVariant& value) {
        {
            const QMutexLocker lock(&mutex_);
            values_[nameSpace + " " + key] = value;
        }
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
    portal->moveToThread(&thread);
    thread.start();
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, FakePortal::kConnection);
    ASSERT_TRUE(bus.registerObject("/org/freedesktop/portal/desktop", portal.get(),
                                   QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(bus.registerService("org.freedesktop.portal.Desktop"));
    portal->announce("org.freedesktop.appearance", "color-scheme", 1u);  // before anyone listens

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
}  // namespace ombrel::shell_test

#include "app_delegate_test.moc"
