// Opens the X connection, checks its extensions and feeds its events to the parts that listen.
// Qt first: Xlib defines macros (Status, Bool) that clash with Qt's names.
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include "platform/linux/x_connection.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>

#include <array>
#include <atomic>

namespace ombrel::linux_platform {

namespace {

// Xlib reports protocol errors through one process-wide handler, for every connection of the
// process; it remembers the last few with their connection and request serial, and the trap
// looks for its own among them.
struct ErrorRecord {
    std::atomic<Display*> display{nullptr};
    std::atomic<unsigned long> serial{0};
};
constexpr std::size_t errorRing = 64;
std::array<ErrorRecord, errorRing> errors;
std::atomic<std::size_t> errorCount{0};

int recordError(Display* display, XErrorEvent* event) {
    const std::size_t n = errorCount.fetch_add(1, std::memory_order_relaxed);
    errors[n % errorRing].display.store(display, std::memory_order_relaxed);
    errors[n % errorRing].serial.store(event->serial, std::memory_order_relaxed);
    return 0;
}

// A lost connection is reported by the exit handler below, not by ending the process.
int quietIOError(Display*) {
    return 0;
}

}  // namespace

XConnection::XConnection(std::string displayName, Reader reader)
    : displayName_(std::move(displayName)), reader_(reader) {
    XSetErrorHandler(recordError);
    XSetIOErrorHandler(quietIOError);
    if (reader_ == Reader::qtLoop) {
        context_ = std::make_unique<QObject>();
    }
    open();
    if (auto* dispatcher =
            reader_ == Reader::qtLoop ? QAbstractEventDispatcher::instance() : nullptr) {
        // Round trips made by the parts queue events without making the socket readable.
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, context_.get(),
                         [this] { dispatchPending(); });
    }
}

XConnection::~XConnection() {
    close();
}

bool XConnection::open() {
    display_ = XOpenDisplay(displayName_.empty() ? nullptr : displayName_.c_str());
    if (display_ == nullptr) {
        return false;
    }
    lost_ = false;
    lostTold_ = false;
    XSetIOErrorExitHandler(display_, &XConnection::onIOExit, this);
    root_ = DefaultRootWindow(display_);
    atoms_.clear();

    int event = 0;
    int error = 0;
    int opcode = 0;
    xiOpcode_ = -1;
    if (XQueryExtension(display_, "XInputExtension", &opcode, &event, &error)) {
        int major = 2;
        int minor = 2;
        if (XIQueryVersion(display_, &major, &minor) == Success &&
            (major > 2 || (major == 2 && minor >= 2))) {
            xiOpcode_ = opcode;
        }
    }
    int xtestEvent = 0;
    int xtestError = 0;
    int xtestMajor = 0;
    int xtestMinor = 0;
    hasXTest_ =
        XTestQueryExtension(display_, &xtestEvent, &xtestError, &xtestMajor, &xtestMinor) != 0;
    int xkbMajor = XkbMajorVersion;
    int xkbMinor = XkbMinorVersion;
    int xkbOpcode = 0;
    xkbEventBase_ = -1;
    if (XkbQueryExtension(display_, &xkbOpcode, &event, &error, &xkbMajor, &xkbMinor)) {
        xkbEventBase_ = event;
    }
    randrEventBase_ = -1;
    if (XRRQueryExtension(display_, &event, &error)) {
        randrEventBase_ = event;
    }
    if (rootMask_ != 0) {
        XSelectInput(display_, root_, rootMask_);
    }

    if (reader_ == Reader::qtLoop) {
        notifier_ =
            std::make_unique<QSocketNotifier>(ConnectionNumber(display_), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated,
                         [this] { dispatchPending(); });
    }
    XFlush(display_);
    return true;
}

void XConnection::close() {
    notifier_.reset();
    if (display_ != nullptr) {
        XCloseDisplay(display_);
        display_ = nullptr;
    }
}

void XConnection::onIOExit(Display*, void* self) {
    // Returning keeps the process alive; the display is unusable from here on.
    static_cast<XConnection*>(self)->markLost();
}

void XConnection::markLost() {
    lost_ = true;
    if (notifier_) {
        notifier_->setEnabled(false);
    }
}

bool XConnection::reconnect() {
    if (connected()) {
        return true;
    }
    if (display_ != nullptr) {
        // The broken display's memory is released; its socket is already closed by Xlib.
        notifier_.reset();
        XCloseDisplay(display_);
        display_ = nullptr;
    }
    if (!open()) {
        return false;
    }
    for (auto& listener : connectedListeners_) {
        listener();
    }
    return true;
}

Atom XConnection::atom(const char* name) {
    if (display_ == nullptr) {
        return None;
    }
    auto it = atoms_.find(name);
    if (it != atoms_.end()) {
        return it->second;
    }
    const Atom a = XInternAtom(display_, name, False);
    atoms_.emplace(name, a);
    return a;
}

void XConnection::addListener(Listener listener) {
    listeners_.push_back(std::move(listener));
}

void XConnection::addIdleListener(std::function<void()> listener) {
    idleListeners_.push_back(std::move(listener));
}

void XConnection::addStep(std::function<bool()> step) {
    steps_.push_back(std::move(step));
}

void XConnection::addConnectedListener(ConnectedListener listener) {
    connectedListeners_.push_back(std::move(listener));
}

void XConnection::addLostListener(std::function<void()> listener) {
    lostListeners_.push_back(std::move(listener));
}

void XConnection::tellLost() {
    // Found inside an Xlib call; told here, where the listeners may do as they please.
    if (lost_ && !lostTold_) {
        lostTold_ = true;
        for (auto& listener : lostListeners_) {
            listener();
        }
    }
}

void XConnection::selectRootInput(long mask) {
    rootMask_ |= mask;
    if (connected()) {
        XSelectInput(display_, root_, rootMask_);
        XFlush(display_);
    }
}

void XConnection::dispatchPending() {
    // A listener that makes round trips may queue more events; the outer loop picks them up.
    if (dispatching_ || !connected()) {
        if (!dispatching_) {
            tellLost();
        }
        return;
    }
    dispatching_ = true;
    // The socket is read once, to its end; events read along with replies meanwhile join the
    // queue and are handed out too. What the server sends later makes the socket readable
    // again, so nothing waits for a read that would find nothing.
    XEventsQueued(display_, QueuedAfterFlush);
    while (connected() && XEventsQueued(display_, QueuedAlready) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        const bool generic = event.type == GenericEvent && XGetEventData(display_, &event.xcookie);
        for (auto& listener : listeners_) {
            listener(event);
        }
        if (generic && connected()) {
            XFreeEventData(display_, &event.xcookie);
        }
    }
    dispatching_ = false;
    if (!connected()) {
        tellLost();
        return;
    }
    for (auto& listener : idleListeners_) {
        listener();
    }
    stepsPending_ = false;
    for (auto& step : steps_) {
        stepsPending_ = step() || stepsPending_;
    }
    if (stepsPending_ && reader_ == Reader::qtLoop) {
        // The Qt loop would wait for the socket otherwise.
        QTimer::singleShot(0, context_.get(), [this] { dispatchPending(); });
    }
}

bool XConnection::eventsQueued() const {
    return connected() && XEventsQueued(display_, QueuedAlready) > 0;
}

XConnection::ErrorTrap::ErrorTrap(XConnection& connection)
    : connection_(connection),
      firstSerial_(connection.connected() ? NextRequest(connection.display()) : 0),
      firstError_(errorCount.load(std::memory_order_relaxed)) {}

bool XConnection::ErrorTrap::failed() {
    if (!connection_.connected()) {
        return true;
    }
    Display* d = connection_.display();
    XSync(d, False);
    const std::size_t last = errorCount.load(std::memory_order_relaxed);
    if (last - firstError_ > errorRing) {
        return true;  // too many to tell apart: assume the worst
    }
    for (std::size_t n = firstError_; n < last; ++n) {
        const auto& e = errors[n % errorRing];
        if (e.display.load(std::memory_order_relaxed) == d &&
            e.serial.load(std::memory_order_relaxed) >= firstSerial_) {
            return true;
        }
    }
    return false;
}

}  // namespace ombrel::linux_platform
