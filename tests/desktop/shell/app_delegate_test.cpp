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
#include <QPainter>
#include <QScreen>
#include <QSet>
#include <QSystemTrayIcon>
#include <fstream>
#include <sstream>

#include "art/icon_art.h"
#include "config/store.h"

// Last: Xlib macros collide with Qt and GoogleTest names.
#include "shell_env.h"
#include "x_probe.h"

namespace ombrel::shell_test {
namespace {

std::string fileContent(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

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
    launch();
    EXPECT_EQ(engineStarts, 1);

    QSystemTrayIcon* item = delegate->statusItem();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->toolTip(), "Ombrel");
    EXPECT_FALSE(item->icon().isNull());

    struct Entry {
        QString text;
        bool separator;
        QKeySequence shortcut;
    };
    const std::vector<Entry> expected = {
        {"Ombrel is on", false, {}},
        {"", true, {}},
        {QString::fromUtf8("Settings\u2026"), false, QKeySequence(Qt::CTRL | Qt::Key_Comma)},
        {"Quit Ombrel", false, QKeySequence(Qt::CTRL | Qt::Key_Q)},
    };
    const auto actions = delegate->statusMenu()->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(actions[i]->isSeparator(), expected[i].separator);
        EXPECT_EQ(actions[i]->text(), expected[i].text);
        EXPECT_EQ(actions[i]->shortcut(), expected[i].shortcut);
    }
    EXPECT_TRUE(actions[0]->isCheckable());
    EXPECT_EQ(item->contextMenu(), delegate->statusMenu());

    QMainWindow* window = delegate->settingsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Ombrel");
    EXPECT_EQ(window->centralWidget()->size(), AppDelegate::contentSize);
    EXPECT_TRUE(pumpUntil([&] { return isViewable(session().display(), window->winId()); }));

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
}

TEST_F(DelegateTest, DimmedGlyphFollowsEngineEnabledWhoeverChangesIt) {
    makeStore(false);
    const std::string original = fileContent(store->fileURL());
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
    EXPECT_EQ(fileContent(store->fileURL()), original);

    enabled.trigger();
    EXPECT_TRUE(store->config().engineEnabled);
    EXPECT_FALSE(delegate->appearsDisabled());
    EXPECT_TRUE(enabled.isChecked());
    enabled.trigger();
    enabled.trigger();
    EXPECT_TRUE(Store(folder).config().engineEnabled) << "each toggle is saved at once";
}

TEST_F(DelegateTest, SettingsWindowIsCreatedOnceAndClosingOnlyHidesIt) {
    makeStore(true);
    int built = 0;
    launch([&built] {
        ++built;
        return placeholderSettingsContent();
    });
    QMainWindow* window = delegate->settingsWindow();
    ASSERT_NE(window, nullptr);
    // Qt may give the window a new native id when it is shown again; the window stays the same.
    const auto viewable = [&] { return isViewable(session().display(), window->winId()); };
    ASSERT_TRUE(pumpUntil(viewable));

    window->close();
    EXPECT_TRUE(pumpUntil([&] { return !viewable(); }));
    EXPECT_FALSE(window->isVisible());
    delegate->showSettings();
    EXPECT_EQ(delegate->settingsWindow(), window);
    EXPECT_TRUE(pumpUntil(viewable));
    EXPECT_EQ(built, 1);
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

TEST_F(DelegateTest, TrayItemIsEmbeddedWhenATrayRuns) {
    Child trayer({"trayer", "--edge", "top", "--align", "right", "--width", "10", "--height", "24",
                  "--SetDockType", "true", "--expand", "false", "--transparent", "false"});
    ASSERT_TRUE(trayer.started());
    ASSERT_TRUE(pumpUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, trayTimeout));
    makeStore(true);
    launch();
    QSystemTrayIcon& item = *delegate->statusItem();
    // The tray sits at the right end of the top edge: an item still at the origin is not in it.
    ASSERT_TRUE(pumpUntil([&] { return item.isVisible() && item.geometry().x() > 0; }, trayTimeout))
        << "the tray never embedded the item";
    const QRect where = item.geometry();
    EXPECT_GE(where.width(), 16);
    EXPECT_LE(where.width(), 64);
    const QRect around = where.adjusted(-6, -6, 6, 6).intersected(QRect(0, 0, 4096, 4096));
    // Waits until the tray shows something other than `before`, then saves it enlarged without
    // smoothing, so each pixel of the glyph can be judged.
    const auto capture = [&](const char* name, const QImage& before) {
        QImage image;
        const bool painted = pumpUntil(
            [&] {
                image = QGuiApplication::primaryScreen()
                            ->grabWindow(0, around.x(), around.y(), around.width(), around.height())
                            .toImage();
                return image != before &&
                       image.pixelColor(0, 0) !=
                           image.pixelColor(around.width() / 2, around.height() / 2);
            },
            trayTimeout);
        image.scaled(image.size() * 8, Qt::KeepAspectRatio, Qt::FastTransformation)
            .save(QString::fromStdString((artifactsDir() / name).string()));
        return painted ? image : QImage();
    };
    const QImage awake = capture("tray_glyph.png", QImage());
    delegate->enabledItem()->trigger();
    EXPECT_FALSE(capture("tray_glyph_dimmed.png", awake).isNull())
        << "the tray kept the bright glyph after the engine was switched off";
    delegate->enabledItem()->trigger();
    art::renderAppIcon(1024).save(
        QString::fromStdString((artifactsDir() / "app_icon.png").string()));
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

TEST_F(DelegateTest, TrayStartedAfterLaunchStillGetsTheItem) {
    ASSERT_TRUE(pumpUntil([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }, trayTimeout));
    makeStore(true);
    launch();
    QSystemTrayIcon& item = *delegate->statusItem();
    // The panel comes up later, or is restarted: the item must find its way in each time.
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        auto trayer = std::make_unique<Child>(std::vector<std::string>{
            "trayer", "--edge", "top", "--align", "right", "--width", "10", "--height", "24",
            "--SetDockType", "true", "--expand", "false", "--transparent", "false"});
        ASSERT_TRUE(trayer->started());
        EXPECT_TRUE(pumpUntil([&] { return glyphOnScreen(item); }, trayTimeout))
            << "the tray never showed the item";
        trayer.reset();
        ASSERT_TRUE(pumpUntil([&] { return !glyphOnScreen(item); }, trayTimeout));
    }
}

}  // namespace
}  // namespace ombrel::shell_test
