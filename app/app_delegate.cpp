// The running application's spine: the launch sequence, the tray item with its menu, the settings
// window, run requests and requests from later starts.
#include "app/app_delegate.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <utility>

#include "config/store.h"

namespace ombrel {

namespace {

// Sends an editing command up the chain from the focused widget to the first that has it, as a
// menu command reaches the first responder: a text field undoes its typing, the settings window
// its last deletion.
void sendToFocus(const char* slot) {
    const QByteArray signature = QByteArray(slot) + "()";
    QWidget* focus = QApplication::focusWidget();
    if (focus == nullptr && QApplication::activeWindow() != nullptr) {
        focus = QApplication::activeWindow();
    }
    for (QWidget* w = focus; w != nullptr; w = w->parentWidget()) {
        if (w->metaObject()->indexOfMethod(signature.constData()) >= 0) {
            QMetaObject::invokeMethod(w, slot);
            return;
        }
    }
}

}  // namespace

std::unique_ptr<QWidget> placeholderSettingsContent() {
    auto content = std::make_unique<QWidget>();
    auto layout = std::make_unique<QVBoxLayout>();
    auto label = std::make_unique<QLabel>(QStringLiteral("Ombrel is running."));
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label.release());  // the layout's widget becomes the content's child
    content->setLayout(layout.release());
    return content;
}

AppDelegate::AppDelegate(Store& store, Hooks hooks, QDBusConnection bus)
    : store_(store), hooks_(std::move(hooks)), bus_(std::move(bus)) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::launch() {
    // 1. The main menu, shown by the settings window.
    buildMainMenu();
    // 2, 3. The tray item and its glyph.
    statusItem_ = std::make_unique<QSystemTrayIcon>();
    statusItem_->setToolTip(QStringLiteral("Ombrel"));
    setAppearsDisabled(false);
    // 4. The store is loaded by now; every read below is of the current configuration.
    // 5. The dimmed look follows engineEnabled, whoever changes it; equal values are dropped.
    const auto follow = [this](bool enabled) {
        if (lastEnabled_ == enabled) {
            return;
        }
        lastEnabled_ = enabled;
        setAppearsDisabled(!enabled);
    };
    follow(store_.config().engineEnabled);
    watcher_ =
        store_.observeConfig([follow](const Config& config) { follow(config.engineEnabled); });
    // 6. The tray menu; a click on the item opens it too.
    buildStatusMenu();
    statusItem_->setContextMenu(statusMenu_.get());
    connect(statusItem_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    statusMenu_->popup(QCursor::pos());
                }
            });
    statusItem_->show();
    // 7. The engine.
    if (hooks_.startEngine) {
        hooks_.startEngine();
    }
    // 8. Run requests, whether or not the engine is on.
    runRequests_ = std::make_unique<RunRequestReceiver>(hooks_.run);
    runRequests_->listen(bus_);
    // 9. The settings window: also the user's way in on a desktop without a tray.
    showSettings();
}

void AppDelegate::buildMainMenu() {
    fileMenu_ = std::make_unique<QMenu>(QStringLiteral("Ombrel"));
    fileMenu_->addAction(QStringLiteral("Quit Ombrel"), QKeySequence(Qt::CTRL | Qt::Key_Q), qApp,
                         &QCoreApplication::quit);

    editMenu_ = std::make_unique<QMenu>(QStringLiteral("Edit"));
    const std::pair<const char*, QKeySequence::StandardKey> edits[] = {
        {"undo", QKeySequence::Undo},
        {"cut", QKeySequence::Cut},
        {"copy", QKeySequence::Copy},
        {"paste", QKeySequence::Paste},
        {"selectAll", QKeySequence::SelectAll}};
    const char* titles[] = {"Undo", "Cut", "Copy", "Paste", "Select All"};
    for (std::size_t i = 0; i < std::size(edits); ++i) {
        const char* slot = edits[i].first;
        editMenu_->addAction(QString::fromLatin1(titles[i]), QKeySequence(edits[i].second), this,
                             [slot] { sendToFocus(slot); });
    }

    windowMenu_ = std::make_unique<QMenu>(QStringLiteral("Window"));
    windowMenu_->addAction(QStringLiteral("Close"), QKeySequence(Qt::CTRL | Qt::Key_W), this,
                           [this] {
                               if (window_) {
                                   window_->close();
                               }
                           });
}

void AppDelegate::buildStatusMenu() {
    statusMenu_ = std::make_unique<QMenu>();
    enabledItem_ = statusMenu_->addAction(QStringLiteral("Ombrel is on"));
    enabledItem_->setCheckable(true);
    enabledItem_->setChecked(store_.config().engineEnabled);
    connect(enabledItem_, &QAction::triggered, this, &AppDelegate::toggleEnabled);
    connect(statusMenu_.get(), &QMenu::aboutToShow, this,
            [this] { enabledItem_->setChecked(store_.config().engineEnabled); });
    statusMenu_->addSeparator();
    statusMenu_->addAction(QStringLiteral("Settings\u2026"), QKeySequence(Qt::CTRL | Qt::Key_Comma),
                           this, &AppDelegate::showSettings);
    statusMenu_->addAction(QStringLiteral("Quit Ombrel"), QKeySequence(Qt::CTRL | Qt::Key_Q), qApp,
                           &QCoreApplication::quit);
}

void AppDelegate::toggleEnabled() {
    Config config = store_.config();
    config.engineEnabled = !config.engineEnabled;
    store_.setConfig(std::move(config));
    enabledItem_->setChecked(store_.config().engineEnabled);
}

void AppDelegate::setAppearsDisabled(bool disabled) {
    appearsDisabled_ = disabled;
    if (enabledItem_ != nullptr) {
        enabledItem_->setChecked(!disabled);
    }
    if (!statusItem_ || !hooks_.statusGlyph) {
        return;
    }
    QIcon icon;
    for (const int scale : {1, 2}) {
        icon.addPixmap(QPixmap::fromImage(hooks_.statusGlyph(glyphPoints * scale, disabled)));
    }
    statusItem_->setIcon(icon);
}

void AppDelegate::createSettingsWindow() {
    window_ = std::make_unique<QMainWindow>();
    window_->setWindowTitle(QStringLiteral("Ombrel"));
    QMenuBar* bar = window_->menuBar();
    bar->addMenu(fileMenu_.get());
    bar->addMenu(editMenu_.get());
    bar->addMenu(windowMenu_.get());
    if (hooks_.settingsContent) {
        // The window takes the content as its child.
        window_->setCentralWidget(hooks_.settingsContent().release());
    }
    // The sizes are the content's: the menu bar comes on top, and the window's least size follows
    // from the content's own.
    window_->resize(contentSize.width(), contentSize.height() + bar->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window_->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window_->move(frame.topLeft());
    }
}

void AppDelegate::showSettings() {
    if (!window_) {
        createSettingsWindow();
    }
    window_->show();
    window_->setWindowState((window_->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window_->raise();
    window_->activateWindow();
}

}  // namespace ombrel
