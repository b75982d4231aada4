// The running application's spine: the launch sequence, the tray item with its menu, the settings
// window, run requests and requests from later starts.
#pragma once

#include <QDBusConnection>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "app/run_requests.h"
#include "config/observable.h"

class QAction;
class QMainWindow;
class QMenu;
class QSystemTrayIcon;

namespace ombrel {

class Store;

// Builds the settings window's content; called once, when the window is first shown.
using SettingsContentFactory = std::function<std::unique_ptr<QWidget>()>;

// A stand-in until the settings views are hosted.
std::unique_ptr<QWidget> placeholderSettingsContent();

class AppDelegate : public QObject {
    Q_OBJECT
  public:
    struct Hooks {
        std::function<void()> startEngine;
        RunTargets run;
        SettingsContentFactory settingsContent = placeholderSettingsContent;
        // The tray glyph of the given pixel size, readable on light and dark panels; faded when
        // dimmed.
        std::function<QImage(int pixels, bool dimmed)> statusGlyph;
    };

    static constexpr int glyphPoints = 18;
    // The settings window's content area as it first opens, under the menu bar.
    static constexpr QSize contentSize{860, 580};

    AppDelegate(Store& store, Hooks hooks, QDBusConnection bus = QDBusConnection::sessionBus());
    ~AppDelegate() override;
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // The launch sequence; call once, with the event loop about to run.
    void launch();

    // What the user and the tests can reach.
    [[nodiscard]] QSystemTrayIcon* statusItem() const { return statusItem_.get(); }
    [[nodiscard]] QMenu* statusMenu() const { return statusMenu_.get(); }
    [[nodiscard]] QAction* enabledItem() const { return enabledItem_; }
    [[nodiscard]] QMainWindow* settingsWindow() const { return window_.get(); }
    // Whether the tray glyph is drawn dimmed (the engine is off).
    [[nodiscard]] bool appearsDisabled() const { return appearsDisabled_; }

  public slots:
    void showSettings();
    void toggleEnabled();

  private:
    void buildMainMenu();
    void buildStatusMenu();
    void setAppearsDisabled(bool disabled);
    void createSettingsWindow();

    Store& store_;
    Hooks hooks_;
    QDBusConnection bus_;
    std::unique_ptr<QSystemTrayIcon> statusItem_;
    std::unique_ptr<QMenu> statusMenu_;
    QAction* enabledItem_ = nullptr;  // owned by the status menu
    std::unique_ptr<QMainWindow> window_;
    std::unique_ptr<QMenu> fileMenu_;
    std::unique_ptr<QMenu> editMenu_;
    std::unique_ptr<QMenu> windowMenu_;
    std::unique_ptr<RunRequestReceiver> runRequests_;
    Subscription watcher_;
    std::optional<bool> lastEnabled_;
    bool appearsDisabled_ = false;
};

}  // namespace ombrel
