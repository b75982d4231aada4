// Keeps one running instance per user through a lock file, and hands a later start's request to
// show the window over the session bus.
#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/log.h"

namespace ombrel {

namespace fs = std::filesystem;

namespace {
constexpr int handoverTimeoutMs = 5000;

// A folder of this user's in which nobody else can create or replace the lock file.
bool privateFolder(const struct stat& st) {
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string lastError() {
    return std::strerror(errno);
}
}  // namespace

SingleInstance::SingleInstance(QDBusConnection bus, fs::path lockFolder, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), lockFolder_(std::move(lockFolder)) {}

SingleInstance::~SingleInstance() {
    if (registered_) {
        bus_.unregisterObject(objectPath);
    }
    if (lockFd_ >= 0) {
        ::close(lockFd_);
    }
}

fs::path SingleInstance::defaultLockFolder() {
    struct stat st {};
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && fs::path(runtime).is_absolute() && ::stat(runtime, &st) == 0 &&
        privateFolder(st)) {
        return runtime;
    }
    const char* tmp = std::getenv("TMPDIR");
    const fs::path base = tmp != nullptr && fs::path(tmp).is_absolute() ? fs::path(tmp) : "/tmp";
    fs::path folder = base / ("ombrel-" + std::to_string(::geteuid()));
    ::mkdir(folder.c_str(), 0700);
    // Not followed if a link: it could lead into a folder someone else controls.
    if (::lstat(folder.c_str(), &st) == 0 && privateFolder(st)) {
        return folder;
    }
    log::note("No private folder for the instance lock (" + folder.string() +
              " is not this user's own), so only the session bus keeps a second start away.");
    return {};
}

SingleInstance::Lock SingleInstance::takeLock() {
    if (lockFolder_.empty()) {
        return Lock::unavailable;
    }
    const fs::path file = lockFolder_ / lockFileName;
    // Close-on-exec, so that programs started by actions do not keep the lock after the end.
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        log::note("The instance lock " + file.string() + " cannot be used (" +
                  (fd < 0 ? lastError() : std::string("not this user's file")) +
                  "), so only the session bus keeps a second start away.");
        if (fd >= 0) {
            ::close(fd);
        }
        return Lock::unavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool taken = errno == EWOULDBLOCK;
        if (!taken) {
            log::note("The instance lock " + file.string() + " cannot be taken (" + lastError() +
                      "), so only the session bus keeps a second start away.");
        }
        ::close(fd);
        return taken ? Lock::taken : Lock::unavailable;
    }
    lockFd_ = fd;
    return Lock::held;
}

SingleInstance::Role SingleInstance::claim() {
    const bool busUsable = bus_.isConnected() && bus_.interface() != nullptr;
    if (takeLock() == Lock::taken) {
        if (!busUsable || askOwner() != Handover::done) {
            log::note(
                "Ombrel already runs for this user; its window could not be shown, as it "
                "cannot be reached on the session bus.");
        }
        return Role::secondary;
    }
    if (!busUsable) {
        return Role::primary;
    }
    const Role role = claimBusName();
    if (role == Role::secondary && lockFd_ >= 0) {
        ::close(lockFd_);
        lockFd_ = -1;
    }
    return role;
}

SingleInstance::Role SingleInstance::claimBusName() {
    // The object is in place before the name is owned, so a start that sees the name can call it.
    registered_ = bus_.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots);
    // The owner may quit between our failed claim and our call; then the name is free again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const auto reply =
            bus_.interface()->registerService(busName, QDBusConnectionInterface::DontQueueService,
                                              QDBusConnectionInterface::DontAllowReplacement);
        if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
            return Role::primary;
        }
        if (!reply.isValid()) {
            // The bus did not answer: better one engine too many than none.
            return Role::primary;
        }
        if (askOwner() != Handover::ownerGone) {
            break;
        }
    }
    if (registered_) {
        bus_.unregisterObject(objectPath);
        registered_ = false;
    }
    // An owner that does not answer still runs an engine; starting another would fight it.
    return Role::secondary;
}

SingleInstance::Handover SingleInstance::askOwner() {
    const QDBusMessage call =
        QDBusMessage::createMethodCall(busName, objectPath, interfaceName, "showSettings");
    const QDBusMessage reply = bus_.call(call, QDBus::Block, handoverTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return Handover::done;
    }
    const QDBusError error(reply);
    if (error.type() == QDBusError::ServiceUnknown ||
        error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
        return Handover::ownerGone;
    }
    return Handover::failed;
}

void SingleInstance::showSettings() {
    emit showSettingsRequested();
}

}  // namespace ombrel
