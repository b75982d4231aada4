// The composition root: creates every long-lived service of the running program once, in the
// order they depend on each other, and hands the application delegate what it needs.
#include "app/services.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QTimer>
#include <cstdlib>

#include "app/quit_signals.h"
#include "app/session_notice.h"
#include "app/settings_reload.h"
#include "app/single_instance.h"
#include "app/threads.h"
#include "art/icon_art.h"
#include "config/notices.h"
#include "config/store.h"
#include "engine/driver_clicks.h"
#include "engine/engine.h"
#include "platform/linux/autostart_item.h"
#include "platform/linux/desktop_services.h"
#include "platform/linux/file_watcher.h"
#include "platform/linux/key_codes.h"
#include "platform/linux/overlays/snap_overlay.h"
#include "platform/linux/overlays/stroke_overlay.h"
#include "platform/linux/qt_task_queue.h"
#include "platform/linux/x_connection.h"
#include "platform/linux/x_window_system.h"
#include "platform/log.h"
#include "settings/pane.h"
#include "settings/settings_deps.h"
#include "trackpad/trackpad_monitor.h"

namespace ombrel {

// Members are built top to bottom and torn down bottom to top, so each part outlives its users.
// The input thread and the action worker, and what crosses between them: app/threads.h.
struct Services::Parts {
    explicit Parts(Setup setup)
        : store(setup.settingsFolder.empty() ? Store::defaultFolder() : setup.settingsFolder,
                saves),
          x(setup.desktop.display),
          threads({store, queue, strokeOverlay, snapOverlay, &notices}, std::move(setup.desktop)) {}

    linux_platform::QtTaskQueue queue;
    // The settings file is written there, so the window never waits for the disk.
    SaveThread saves{queue};
    Store store;
    Notices notices;
    // The GUI thread's own connection: the displays the stroke overlay covers.
    linux_platform::XConnection x;
    linux_platform::X11WindowSystem windows{x};
    QtStrokeOverlay strokeOverlay{windows};
    QtSnapOverlay snapOverlay;
    app::Threads threads;
    // What the settings window is given.
    EngineStatusOf<app::InputState> engineStatus{threads.state()};
    std::string program = QCoreApplication::applicationFilePath().toStdString();
    linux_platform::XdgAutostartItem loginItem{linux_platform::XdgAutostartItem::defaultFile(),
                                               program};
    SettingsDeps settingsDeps{
        .store = store,
        .engine = engineStatus,
        .nav = Nav::shared(),
        .loginItem = loginItem,
        .deviceCount = [this] { return threads.monitor().deviceCount(); },
        .translateKey = [](quint32 code) { return linux_platform::virtualKeyFromX(code); },
        .runningApps = &linux_platform::runningApplications,
        .appName = &linux_platform::applicationName,
        // The banner's button checks at once instead of waiting for the next poll.
        .recheckAccess = [this] { threads.recheckInput(); },
        .showFile = &linux_platform::showInFileManager,
        .notices = &notices,
        .unreadableCount = [this] { return threads.monitor().unreadableCount(); },
        .observeDevices =
            [this](std::function<void()> observer) {
                return threads.monitor().observeDevices(std::move(observer));
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
        notices.set("input", threads.state().unavailableReason());
        notices.set("grabs", takenNotice(threads.state().takenTriggers()));
    }
    Subscription inputNotices = threads.state().observeState([this] {
        sayInputState();
        sayTouchpadDriver();
    });
    // A gesture rule whose touchpad clicks cannot be told from other pointers' is said there too.
    void sayTouchpadDriver() {
        notices.set("touchpadDriver",
                    touchpadDriverNotice(*store.snapshot(), threads.state().touchpadDriver(),
                                         threads.monitor().deviceCount() > 0));
    }
    Subscription driverRules = store.observeConfig([this](const Config&) { sayTouchpadDriver(); });
    Subscription driverPads = threads.monitor().observeDevices([this] { sayTouchpadDriver(); });
};

Services::Services() : Services(Setup{}) {}

Services::Services(Setup setup) : parts_(std::make_unique<Parts>(std::move(setup))) {
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
    // An edit made between the load and the start of the watch is not lost.
    p.settingsFollower.fileMayHaveChanged();
}

Services::~Services() = default;

void Services::start() {
    parts_->threads.start();
    parts_->sayInputState();
    parts_->sayTouchpadDriver();
}

void Services::stop() {
    parts_->threads.stop();
    // The last change is on disk before the program ends.
    parts_->store.flush();
}

Store& Services::store() {
    return parts_->store;
}

app::Threads& Services::threads() {
    return parts_->threads;
}

QtSnapOverlay& Services::snapOverlay() {
    return parts_->snapOverlay;
}

AppDelegate::Hooks Services::delegateHooks() {
    Parts& p = *parts_;
    AppDelegate::Hooks hooks;
    hooks.startEngine = [this] { start(); };
    // Merged and bounded on their way to the worker, so a flood of requests costs neither memory
    // nor the input thread's time.
    hooks.run.system = [&p](SystemAction action) {
        p.threads.actions().request(Action::system(action));
    };
    hooks.run.window = [&p](WindowAction action) {
        p.threads.actions().request(Action::window(action));
    };
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
    const app::QuitOnSignals quitOnSignals;
    AppDelegate delegate(services.store(), services.delegateHooks());
    QObject::connect(&instance, &SingleInstance::showSettingsRequested, &delegate,
                     &AppDelegate::showSettings);
    // The launch sequence runs once the event loop has started, as on any desktop.
    QTimer::singleShot(0, &delegate, &AppDelegate::launch);
    const int status = QApplication::exec();
    // The threads end while every window they may speak to still exists.
    services.stop();
    log::note("Ombrel stopped.");
    return status;
}

}  // namespace ombrel
