// Keeps one running instance per user: the first start takes a lock file that the kernel releases
// when the process ends, however it ends; a later start finds the lock taken and, when a session
// bus is there, asks the running instance over it ("local.ombrel") to show its settings window
// instead of starting a second engine (two engines would fight over the same grabs and overwrite
// each other's settings).
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <filesystem>

namespace ombrel {

class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "local.ombrel.Instance")
  public:
    static constexpr const char* busName = "local.ombrel";
    static constexpr const char* objectPath = "/local/ombrel/instance";
    static constexpr const char* interfaceName = "local.ombrel.Instance";
    static constexpr const char* lockFileName = "ombrel.lock";

    enum class Role {
        primary,    // this process runs the program
        secondary,  // another instance runs it and has been asked to show its window
    };

    // The lock file lives in lockFolder; an empty folder leaves the decision to the bus alone.
    SingleInstance(QDBusConnection bus, std::filesystem::path lockFolder,
                   QObject* parent = nullptr);
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // $XDG_RUNTIME_DIR when it is an absolute folder of this user's that nobody else may write
    // in; otherwise "ombrel-<uid>" in $TMPDIR or /tmp, created private and used only when it is
    // this user's and private. Empty when neither can be had.
    static std::filesystem::path defaultLockFolder();

    // Takes the lock and owns the bus name, or hands over to the instance that holds them. A
    // start holding the lock runs even without a bus; one that finds the lock taken never does.
    Role claim();

  public slots:
    // Called over the bus by a later start.
    Q_SCRIPTABLE void showSettings();

  signals:
    void showSettingsRequested();

  private:
    enum class Lock { held, taken, unavailable };
    Lock takeLock();
    enum class Handover { done, ownerGone, failed };
    Handover askOwner();
    Role claimBusName();

    QDBusConnection bus_;
    std::filesystem::path lockFolder_;
    int lockFd_ = -1;  // held open for the life of the process
    bool registered_ = false;
};

}  // namespace ombrel
