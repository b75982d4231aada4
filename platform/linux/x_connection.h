// One connection to the X server, used by one thread only: read from that thread's Qt loop, or by
// a loop of the thread's own that watches fd() and calls dispatchPending(). Each of the program's
// threads that speaks to the server has its own (app/threads.h).
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

    // Who reads the connection: the Qt loop of the thread that creates it, or the owner's loop.
    enum class Reader { qtLoop, owner };

    // Connects to the display named by DISPLAY (or the given name); see connected(). With the
    // Qt loop as reader, create it on the thread whose loop that is.
    explicit XConnection(std::string displayName = {}, Reader reader = Reader::qtLoop);
    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    // Null while there is no connection; never keep the pointer across main-loop turns.
    [[nodiscard]] Display* display() const { return display_; }
    [[nodiscard]] bool connected() const { return display_ != nullptr && !lost_; }
    [[nodiscard]] Window root() const { return root_; }
    // The socket to wait on while connected, else -1.
    [[nodiscard]] int fd() const { return connected() ? ConnectionNumber(display_) : -1; }
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
    // A long job done in short steps between the turns that hand events out, so that no event
    // waits for all of it: the step runs after the idle listeners and answers whether more
    // remains. While more does, the reader comes back without waiting.
    void addStep(std::function<bool()> step);
    [[nodiscard]] bool stepsPending() const { return stepsPending_; }
    void addConnectedListener(ConnectedListener listener);
    // Called once, from the reading loop, after the connection was found lost.
    void addLostListener(std::function<void()> listener);
    // Adds to the core event mask selected on the root window (the selection is shared).
    void selectRootInput(long mask);

    // Reads and dispatches every event the server has sent so far, those already read into
    // Xlib's queue included.
    void dispatchPending();
    // Whether events wait in Xlib's queue (read along with a reply), which the socket no longer
    // announces.
    [[nodiscard]] bool eventsQueued() const;

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
    void tellLost();
    static void onIOExit(Display* display, void* self);

    std::string displayName_;
    Reader reader_;
    Display* display_ = nullptr;
    bool lost_ = false;
    bool lostTold_ = false;
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
    std::vector<std::function<void()>> lostListeners_;
    std::vector<std::function<void()>> idleListeners_;
    std::vector<std::function<bool()>> steps_;
    bool stepsPending_ = false;
    bool dispatching_ = false;
};

}  // namespace ombrel::linux_platform
