// The program's one connection to the X server: opened on the main thread, read from the Qt main
// loop, and handed to the parts that grab, post, move windows and list displays.
#pragma once

#include <X11/Xlib.h>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// Qt headers must come before Xlib's macros, so only names are declared here.
class QObject;
class QSocketNotifier;

namespace ombrel::linux_platform {

class XConnection {
  public:
    // Every event read from the server, generic (XInput 2) events with their data fetched.
    using Listener = std::function<void(XEvent&)>;
    // Called after the connection was (re)opened, so the parts can redo their setup.
    using ConnectedListener = std::function<void()>;

    // Connects to the display named by DISPLAY (or the given name); see connected().
    explicit XConnection(std::string displayName = {});
    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    // Null while there is no connection; never keep the pointer across main-loop turns.
    [[nodiscard]] Display* display() const { return display_; }
    [[nodiscard]] bool connected() const { return display_ != nullptr && !lost_; }
    [[nodiscard]] Window root() const { return root_; }
    // Tries to connect again when the connection was lost or never made; true when connected.
    bool reconnect();

    Atom atom(const char* name);

    [[nodiscard]] int xiOpcode() const { return xiOpcode_; }
    [[nodiscard]] bool hasXInput22() const { return xiOpcode_ >= 0; }
    [[nodiscard]] bool hasXTest() const { return hasXTest_; }
    [[nodiscard]] int xkbEventBase() const { return xkbEventBase_; }
    [[nodiscard]] int randrEventBase() const { return randrEventBase_; }

    void addListener(Listener listener);
    // Called each time every event read so far has been handed out.
    void addIdleListener(std::function<void()> listener);
    void addConnectedListener(ConnectedListener listener);
    // Adds to the core event mask selected on the root window (the selection is shared).
    void selectRootInput(long mask);

    // Reads and dispatches every event the server has sent so far.
    void dispatchPending();

    // Catches protocol errors of the requests made on this connection while it lives.
    class ErrorTrap {
      public:
        explicit ErrorTrap(XConnection& connection);
        ~ErrorTrap() = default;
        ErrorTrap(const ErrorTrap&) = delete;
        ErrorTrap& operator=(const ErrorTrap&) = delete;
        // Syncs and says whether any request since the trap was made failed.
        bool failed();

      private:
        XConnection& connection_;
        unsigned long firstSerial_ = 0;
        std::size_t firstError_ = 0;
    };

  private:
    bool open();
    void close();
    void markLost();
    static void onIOExit(Display* display, void* self);

    std::string displayName_;
    Display* display_ = nullptr;
    bool lost_ = false;
    Window root_ = 0;
    int xiOpcode_ = -1;
    bool hasXTest_ = false;
    int xkbEventBase_ = -1;
    int randrEventBase_ = -1;
    long rootMask_ = 0;
    std::unique_ptr<QObject> context_;  // ends the main-loop hookups with the connection
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unordered_map<std::string, Atom> atoms_;
    std::vector<Listener> listeners_;
    std::vector<ConnectedListener> connectedListeners_;
    std::vector<std::function<void()>> idleListeners_;
    bool dispatching_ = false;
};

}  // namespace ombrel::linux_platform
