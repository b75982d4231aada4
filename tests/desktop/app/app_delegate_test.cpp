// The application delegate in this process, on the shared X session and session bus: the launch
// sequence, the tray item and its dimmed glyph, the settings window and its editing commands.
// Run requests from launch on: program_test.cpp.
#include "app/app_delegate.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSystemTrayIcon>
#include <set>
#include <vector>

#include "art/icon_art.h"
#include "config/store.h"
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
    void launch(bool engineEnabled, SettingsContentFactory content = placeholderSettingsContent) {
        ASSERT_TRUE(session().ready()) << session().failure();
        Config config;
        config.engineEnabled = engineEnabled;
        writeSettings(config);
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
    // Qt may give the window a new native id when it is shown again; the window stays the same.
    bool viewable() const { return isViewable(window->winId()); }

    const std::filesystem::path folder = configHome() / "Ombrel";
    std::unique_ptr<Store> store;
    std::unique_ptr<AppDelegate> delegate;
    QMainWindow* window = nullptr;
    int engineStarts = 0;
};

// The launch starts the engine and shows the window, whose Edit menu works on the focused text
// field; closing only hides the window, and showing it again builds nothing new.
TEST_F(DelegateTest, LaunchShowsTheWindowOnceAndItsEditCommandsWork) {
    QLineEdit* field = nullptr;
    int built = 0;
    launch(true, [&field, &built] {
        ++built;
        auto edit = std::make_unique<QLineEdit>("drawn circle");
        field = edit.get();
        return std::unique_ptr<QWidget>(edit.release());
    });
    EXPECT_EQ(engineStarts, 1);
    ASSERT_NE(delegate->statusItem(), nullptr);
    EXPECT_EQ(delegate->statusItem()->contextMenu(), delegate->statusMenu());
    EXPECT_EQ(window->centralWidget()->size(), AppDelegate::contentSize);
    ASSERT_TRUE(pumpUntil([&] { return viewable() && window->isActiveWindow(); }));
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
    EXPECT_TRUE(pumpUntil([&] { return !viewable(); }));
    delegate->showSettings();
    EXPECT_EQ(delegate->settingsWindow(), window);
    EXPECT_TRUE(pumpUntil([&] { return viewable(); }));
    EXPECT_EQ(built, 1);
}

TEST_F(DelegateTest, DimmedGlyphFollowsEngineEnabledWhoeverChangesIt) {
    launch(false);
    const std::string original = test::readFile(store->fileURL());
    QSystemTrayIcon& item = *delegate->statusItem();
    QAction& enabled = *delegate->enabledItem();
    EXPECT_TRUE(delegate->appearsDisabled()) << "off in the file: dimmed from the start";
    EXPECT_FALSE(enabled.isChecked());
    const long dimInk = glyphInk(item);

    // Another view switches the engine on; a change of anything else leaves the glyph alone.
    Config config = store->config();
    config.engineEnabled = true;
    store->setConfig(config);
    EXPECT_FALSE(delegate->appearsDisabled());
    EXPECT_LT(dimInk, glyphInk(item) * 3 / 4) << "the dimmed glyph must be visibly fainter";
    const qint64 iconKey = item.icon().cacheKey();
    config.snapEnabled = !config.snapEnabled;
    store->setConfig(config);
    EXPECT_EQ(item.icon().cacheKey(), iconKey);
    config.snapEnabled = !config.snapEnabled;
    store->setConfig(config);

    // The menu item switches it off and on again, saving each time; the file is as it was.
    enabled.trigger();
    EXPECT_TRUE(delegate->appearsDisabled());
    EXPECT_FALSE(enabled.isChecked());
    EXPECT_EQ(glyphInk(item), dimInk);
    EXPECT_EQ(test::readFile(store->fileURL()), original);
    enabled.trigger();
    EXPECT_FALSE(delegate->appearsDisabled());
    EXPECT_TRUE(enabled.isChecked());
    EXPECT_TRUE(Store(folder).config().engineEnabled);
}

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

// The program starts before the panel at login: a tray that comes up later gets the item, shows
// the dimmed glyph once the engine is switched off, and takes the item away when it ends.
TEST_F(DelegateTest, TrayStartedLaterShowsTheItemAndItsDimming) {
    ASSERT_TRUE(pumpUntil([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }, trayTimeout));
    launch(true);
    QSystemTrayIcon& item = *delegate->statusItem();
    auto tray = std::make_unique<Program>(std::vector<std::string>{
        "trayer", "--edge", "top", "--align", "right", "--width", "10", "--height", "24",
        "--SetDockType", "true", "--expand", "false", "--transparent", "false"});
    ASSERT_TRUE(pumpUntil([&] { return glyphOnScreen(item); }, trayTimeout))
        << "the tray never showed the item";
    const QImage awake = trayShot(item);
    delegate->enabledItem()->trigger();
    EXPECT_TRUE(pumpUntil([&] { return trayShot(item) != awake; }, trayTimeout))
        << "the tray kept the bright glyph after the engine was switched off";
    tray.reset();
    EXPECT_TRUE(pumpUntil([&] { return !glyphOnScreen(item); }, trayTimeout));
}

}  // namespace
}  // namespace ombrel::shell_test
