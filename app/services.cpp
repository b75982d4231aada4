// The composition root: creates every long-lived service of the running program once, in the
// order they depend on each other, and hands the application delegate what it needs.
#include "app/services.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QTimer>
#include <cstdlib>

#include "actions/action_runner.h"
#include "actions/window_manager.h"
#include "app/session_notice.h"
#include "app/settings_reload.h"
#include "app/single_instance.h"
#include "art/icon_art.h"
#include "config/notices.h"
#include "config/store.h"
#include "engine/driver_clicks.h"
#include "engine/engine.h"
#include "platform/linux/autostart_item.h"
#include "platform/linux/desktop_services.h"
#include "platform/linux/evdev_multitouch.h"
#include "platform/linux/file_watcher.h"
#include "platform/linux/key_codes.h"
#include "platform/linux/linux_workspace.h"
#include "platform/linux/overlays/snap_overlay.h"
#include "platform/linux/overlays/stroke_overlay.h"
#include "platform/linux/qt_main_queue.h"
#include "platform/linux/x_connection.h"
#include "platform/linux/x_event_poster.h"
#include "platform/linux/x_event_tap.h"
#include "platform/linux/x_window_system.h"
#include "platform/log.h"
#include "settings/pane.h"
#include "settings/settings_deps.h"
#include "trackpad/trackpad_monitor.h"

namespace ombrel {

// Members are built top to bottom and torn down bottom to top, so each part outlives its users.
struct Services::Parts {
    Store& store = Store::shared();
    Notices notices;
    linux_platform::XConnection x;
    linux_platform::QtMainQueue queue;
    linux_platform::X11WindowSystem windows{x};
    linux_platform::X11EventPoster poster{x};
    linux_platform::X11EventTap tap{x, poster};
    linux_platform::LinuxWorkspace workspace{x};
    linux_platform::LinuxDesktopShell shell{x, queue};
    linux_platform::EvdevMultitouch touch;
    WindowManager windowManager{windows};
    ActionRunner runner{windowManager, poster, workspace, shell, linux_platform::linuxPrograms()};
    TrackpadMonitor monitor{touch, queue, &notices};
    QtStrokeOverlay strokeOverlay{windows};
    QtSnapOverlay snapOverlay;
    Engine engine{store,     monitor, runner,        windowManager, tap,
                  workspace, queue,   strokeOverlay, snapOverlay};
    // What the settings window is given.
    EngineStatusOf<Engine> engineStatus{engine};
    std::string program = QCoreApplication::applicationFilePath().toStdString();
    linux_platform::XdgAutostartItem loginItem{linux_platform::XdgAutostartItem::defaultFile(),
                                               program};
    SettingsDeps settingsDeps{
        .store = store,
        .engine = engineStatus,
        .nav = Nav::shared(),
        .loginItem = loginItem,
        .deviceCount = [this] { return monitor.deviceCount(); },
        .translateKey = [](quint32 code) { return linux_platform::virtualKeyFromX(code); },
        .runningApps = &linux_platform::runningApplications,
        .appName = &linux_platform::applicationName,
        // The banner's button checks at once instead of waiting for the next poll.
        .recheckAccess = [this] { engine.pollInput(); },
        .showFile = &linux_platform::showInFileManager,
        .notices = &notices,
        .unreadableCount = [this] { return monitor.unreadableCount(); },
        .observeDevices =
            [this](std::function<void()> observer) {
                return monitor.observeDevices(std::move(observer));
            },
    };
    // Hand edits of the settings file take effect while the program runs.
    app::SettingsFileFollower settingsFollower{store, notices};
    linux_platform::FileWatcher settingsWatcher{store.fileURL(),
                                                [this] { settingsFollower.fileMayHaveChanged(); }};
    // Why changes cannot be saved, on the General pane for as long as it holds.
    Subscription saveErrorShown = showSaveError(store, notices);

    static Subscription showSaveError(Store& store, Notices& notices) {
        const auto show = [&notices](const std::optional<std::string>& error) {
            notices.set("settingsSave", error.value_or(""));
        };
        show(store.saveError());
        return store.observeSaveError(show);
    }
    // Input that is missing and shortcuts other programs hold are said on the General pane.
    void sayInputState() {
        notices.set("input", tap.unavailableReason());
        notices.set("grabs", takenNotice(engine.takenTriggers()));
    }
    Subscription inputNotices = engine.observeState([this] { sayInputState(); });
    // A gesture rule whose touchpad clicks cannot be told from other pointers' is said there too.
    void sayTouchpadDriver(const Config& config) {
        notices.set("touchpadDriver",
                    touchpadDriverNotice(config, tap.touchpadDriver(), monitor.deviceCount() > 0));
    }
    Subscription driverRules =
        store.observeConfig([this](const Config& config) { sayTouchpadDriver(config); });
    Subscription driverPads = monitor.observeDevices([this] { sayTouchpadDriver(store.config()); });
};

Services::Services() : parts_(std::make_unique<Parts>()) {
    Parts& p = *parts_;
    log::note("Ombrel " OMBREL_VERSION " started; settings file " + p.store.fileURL().string());
    if (auto sentence = app::waylandSessionSentence(std::getenv("XDG_SESSION_TYPE"),
                                                    std::getenv("WAYLAND_DISPLAY"))) {
        log::note(*sentence);
        p.notices.set(app::sessionTopic, std::move(*sentence));
    }
    // An entry left from a build folder starts the installed program once it is installed.
    if (linux_platform::XdgAutostartItem::isInstalled(p.program)) {
        p.loginItem.retarget();
    }
    p.runner.setNotices(&p.notices);
    p.tap.observeTouchpadDriver([&p] { p.sayTouchpadDriver(p.store.config()); });
}

Services::~Services() = default;

Store& Services::store() {
    return parts_->store;
}

AppDelegate::Hooks Services::delegateHooks() {
    Parts& p = *parts_;
    AppDelegate::Hooks hooks;
    hooks.startEngine = [&p] {
        p.engine.start();
        p.sayInputState();
        p.sayTouchpadDriver(p.store.config());
    };
    hooks.run.system = [&p](SystemAction action) { p.runner.runSystem(action); };
    hooks.run.window = [&p](WindowAction action) { p.windowManager.apply(action); };
    hooks.statusGlyph = [](int pixels, bool dimmed) {
        return art::renderTrayGlyph(pixels, dimmed);
    };
    hooks.settingsContent = [&p] { return makeSettingsView(p.settingsDeps); };
    return hooks;
}

int runProgram() {
    SingleInstance instance(QDBusConnection::sessionBus(), SingleInstance::defaultLockFolder());
    if (instance.claim() == SingleInstance::Role::secondary) {
        return 0;
    }
    Services services;
    AppDelegate delegate(services.store(), services.delegateHooks());
    QObject::connect(&instance, &SingleInstance::showSettingsRequested, &delegate,
                     &AppDelegate::showSettings);
    // The launch sequence runs once the event loop has started, as on any desktop.
    QTimer::singleShot(0, &delegate, &AppDelegate::launch);
    const int status = QApplication::exec();
    log::note("Ombrel stopped.");
    return status;
}

}  // namespace ombrel
