// The application delegate in this process, on the shared X session and session bus: the launch
// sequence, the tray menu, the dimmed glyph, the settings window and its editing commands.
#include "app/app_delegate.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSet>
#include <QSystemTrayIcon>

#include "art/icon_art.h"
#include "config/store.h"
#include "support/temp_dir.h"

// Last: Xlib macros collide with Qt and GoogleTest names.
#include "shell_env.h"
#include "x_probe.h"

namespace ombrel::shell_test {
namespace {

// Sum of the alpha of the glyph the tray shows, at 18 pixels.
long glyphInk(const QSystemTrayIcon& item) {
    const QImage image = item.icon()
                             .pixmap(AppDelegate::glyphPoints)
                             .toImage()
                             .convertToFormat(QImage::Format_ARGB32);
    long ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ink += qAlpha(image.pixel(x, y));
        }
    }
    return ink;
}

// A tray is a separate program that embeds the item in its own time; a loaded machine is slow.
constexpr std::chrono::seconds trayTimeout{15};

class DelegateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(session().ready()) << session().failure();
        static int serial = 0;
        folder = configHome() / ("delegate-" + std::to_string(++serial)) / "Ombrel";
    }

    // Writes a settings file with engineEnabled as given, then loads it into a fresh store.
    void makeStore(bool engineEnabled) {
        {
            Store writer(folder);
            Config config = writer.config();
            config.engineEnabled = engineEnabled;
            writer.setConfig(config);
        }
        store = std::make_unique<Store>(folder);
    }

    void launch(SettingsContentFactory content = placeholderSettingsContent) {
        AppDelegate::Hooks hooks;
        hooks.startEngine = [this] { ++engineStarts; };
        hooks.run = {[this](SystemAction a) { systemRuns.push_back(a); },
                     [this](WindowAction a) { windowRuns.push_back(a); }};
        hooks.settingsContent = std::move(content);
        hooks.statusGlyph = art::renderTrayGlyph;
        delegate = std::make_unique<AppDelegate>(*store, std::move(hooks));
        delegate->launch();
    }

    std::filesystem::path folder;
    std::unique_ptr<Store> store;
    std::unique_ptr<AppDelegate> delegate;
    int engineStarts = 0;
    std::vector<SystemAction> systemRuns;
    std::vector<WindowAction> windowRuns;
};

TEST_F(DelegateTest, LaunchBuildsTheTrayMenuStartsTheEngineAndShowsTheWindow) {
    makeStore(true);
    int built = 0;
    launch([&built] {
        ++built;
        return placeholderSettingsContent();
    });
    EXPECT_EQ(engineStarts, 1);

    QSystemTrayIcon* item = delegate->statusItem();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->toolTip(), "Ombrel");
    EXPECT_FALSE(item->icon().isNull());

    // The switch, a separator, then settings and quit.
    const auto actions = delegate->statusMenu()->actions();
    ASSERT_EQ(actions.size(), 4);
    EXPECT_TRUE(actions[0]->isCheckable() && actions[1]->isSeparator());
    EXPECT_EQ(item->contextMenu(), delegate->statusMenu());

    QMainWindow* window = delegate->settingsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Ombrel");
    EXPECT_EQ(window->centralWidget()->size(), AppDelegate::contentSize);
    // Qt may give the window a new native id when it is shown again; the window stays the same.
    const auto viewable = [&] { return isViewable(session().display(), window->winId()); };
    EXPECT_TRUE(pumpUntil(viewable));

    QStringList menus;
    for (QAction* menu : window->menuBar()->actions()) {
        menus << menu->text();
    }
    EXPECT_EQ(menus, QStringList({"Ombrel", "Edit", "Window"}));

    // Run requests are observed from launch on.
    ASSERT_EQ(xsession::XSession::run({"dbus-send", "--session", "--type=signal", "/local/ombrel",
                                       "local.ombrel.run", "string:bottomHalf"}),
              0);
    EXPECT_TRUE(pumpUntil([&] { return !windowRuns.empty(); }));
    EXPECT_EQ(windowRuns, std::vector<WindowAction>{WindowAction::bottomHalf});

    // Closing only hides the window; showing it again builds nothing new.
    window->close();
    EXPECT_TRUE(pumpUntil([&] { return !viewable(); }));
    delegate->showSettings();
    EXPECT_EQ(delegate->settingsWindow(), window);
    EXPECT_TRUE(pumpUntil(viewable));
    EXPECT_EQ(built, 1);
}

TEST_F(DelegateTest, DimmedGlyphFollowsEngineEnabledWhoeverChangesIt) {
    makeStore(false);
    const std::string original = test::readFile(store->fileURL());
    launch();
    QSystemTrayIcon& item = *delegate->statusItem();
    QAction& enabled = *delegate->enabledItem();

    EXPECT_TRUE(delegate->appearsDisabled()) << "off in the file: dimmed from the start";
    EXPECT_FALSE(enabled.isChecked());
    const long dimInk = glyphInk(item);

    // Another view switches the engine on.
    Config on = store->config();
    on.engineEnabled = true;
    store->setConfig(on);
    EXPECT_FALSE(delegate->appearsDisabled());
    const long fullInk = glyphInk(item);
    EXPECT_LT(dimInk, fullInk * 3 / 4) << "the dimmed glyph must be visibly fainter";

    // A change of anything else leaves the glyph alone.
    const qint64 iconKey = item.icon().cacheKey();
    Config other = store->config();
    other.snapEnabled = !other.snapEnabled;
    store->setConfig(other);
    EXPECT_EQ(item.icon().cacheKey(), iconKey);
    other.snapEnabled = !other.snapEnabled;
    store->setConfig(other);

    // The menu item switches it off and on again; the file returns to its first content.
    enabled.trigger();
    EXPECT_FALSE(store->config().engineEnabled);
    EXPECT_TRUE(delegate->appearsDisabled());
    EXPECT_FALSE(enabled.isChecked());
    EXPECT_EQ(glyphInk(item), dimInk);
    EXPECT_EQ(test::readFile(store->fileURL()), original);

    enabled.trigger();
    EXPECT_FALSE(delegate->appearsDisabled());
    EXPECT_TRUE(enabled.isChecked());
    EXPECT_TRUE(Store(folder).config().engineEnabled) << "each toggle is saved at once";
}

TEST_F(DelegateTest, EditCommandsReachTheFocusedTextField) {
    makeStore(true);
    QLineEdit* field = nullptr;
    launch([&field] {
        auto edit = std::make_unique<QLineEdit>();
        field = edit.get();
        return std::unique_ptr<QWidget>(edit.release());
    });
    ASSERT_NE(field, nullptr);
    QMainWindow* window = delegate->settingsWindow();
    ASSERT_TRUE(pumpUntil([&] { return window->isActiveWindow(); }));
    field->setFocus();
    ASSERT_TRUE(pumpUntil([&] { return field->hasFocus(); }));
    field->setText("drawn circle");

    const auto command = [&](const QString& menu, const QString& item) {
        for (QAction* m : window->menuBar()->actions()) {
            if (m->text() == menu && m->menu()) {
                for (QAction* a : m->menu()->actions()) {
                    if (a->text() == item) {
                        a->trigger();
                        return true;
                    }
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
    EXPECT_TRUE(pumpUntil([&] { return !window->isVisible(); }));
}

// Whether the screen shows the glyph where the tray says the item is: more than two colours (the
// panel alone, or the bare root window, show one).
bool glyphOnScreen(const QSystemTrayIcon& item) {
    const QRect where = item.geometry();
    if (where.x() <= 0) {
        return false;
    }
    const QImage image = QGuiApplication::primaryScreen()
                             ->grabWindow(0, where.x(), where.y(), where.width(), where.height())
                             .toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            colours.insert(image.pixel(x, y));
        }
    }
    return colours.size() > 2;
}

std::unique_ptr<Child> startTray() {
    auto tray = std::make_unique<Child>(std::vector<std::string>{
        "trayer", "--edge", "top", "--align", "right", "--width", "10", "--height", "24",
        "--SetDockType", "true", "--expand", "false", "--transparent", "false"});
    EXPECT_TRUE(tray->started());
    return tray;
}

// A tray running at launch, and one that comes up later (or is restarted), each get the item and
// show the dimmed glyph while the engine is off.
TEST_F(DelegateTest, TrayRunningOrStartedLaterShowsTheItemAndItsDimming) {
    ASSERT_TRUE(pumpUntil([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }, trayTimeout));
    auto tray = startTray();
    ASSERT_TRUE(pumpUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, trayTimeout));
    makeStore(true);
    launch();
    QSystemTrayIcon& item = *delegate->statusItem();
    const auto shot = [&] {
        const QRect r = item.geometry();
        return QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height());
    };
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        ASSERT_TRUE(pumpUntil([&] { return glyphOnScreen(item); }, trayTimeout))
            << "the tray never showed the item";
        const QImage awake = shot().toImage();
        delegate->enabledItem()->trigger();
        EXPECT_TRUE(pumpUntil([&] { return shot().toImage() != awake; }, trayTimeout))
            << "the tray kept the bright glyph after the engine was switched off";
        delegate->enabledItem()->trigger();
        tray.reset();
        ASSERT_TRUE(pumpUntil([&] { return !glyphOnScreen(item); }, trayTimeout));
        if (run == 0) {
            tray = startTray();
        }
    }
}

}  // namespace
}  // namespace ombrel::shell_test
