// One inotify descriptor watching the folders that hold the file and, through a link, its target.
#include "platform/linux/file_watcher.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <array>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <system_error>

namespace ombrel::linux_platform {

namespace fs = std::filesystem;

namespace {
// Editors and version control write in several steps; one read after the last of them.
constexpr int settleMilliseconds = 100;
// Whole-entry changes only: a file still being written is read once it is closed.
constexpr uint32_t entryEvents = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE |
                                 IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF;
}  // namespace

struct FileWatcher::Impl {
    fs::path file;
    std::function<void()> changed;
    int fd = -1;
    std::map<fs::path, int> watches;  // folder → watch descriptor
    std::set<std::string> names;      // the entries that matter in those folders
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer settle;

    // The file's folder, and the folder of the file a link at its place finally names.
    void rewatch() {
        std::error_code ec;
        const fs::path target = fs::weakly_canonical(file, ec);
        std::set<fs::path> folders = {file.parent_path()};
        names = {file.filename().string()};
        if (!ec) {
            folders.insert(target.parent_path());
            names.insert(target.filename().string());
        }
        for (auto it = watches.begin(); it != watches.end();) {
            if (folders.contains(it->first)) {
                ++it;
            } else {
                inotify_rm_watch(fd, it->second);
                it = watches.erase(it);
            }
        }
        for (const fs::path& folder : folders) {
            if (!watches.contains(folder)) {
                const int wd = inotify_add_watch(fd, folder.c_str(), entryEvents | IN_ONLYDIR);
                if (wd >= 0) {
                    watches.emplace(folder, wd);
                }
            }
        }
    }

    // Forgets a watch whose folder went away or moved, so rewatch() sets up the path afresh.
    void forget(int wd, bool remove) {
        for (auto it = watches.begin(); it != watches.end(); ++it) {
            if (it->second == wd) {
                if (remove) {
                    inotify_rm_watch(fd, wd);
                }
                watches.erase(it);
                return;
            }
        }
    }

    void readEvents() {
        alignas(inotify_event) std::array<char, 8192> buffer{};
        bool relevant = false;
        while (true) {
            const ssize_t n = ::read(fd, buffer.data(), buffer.size());
            if (n <= 0) {
                break;
            }
            for (ssize_t at = 0; at < n;) {
                inotify_event event{};
                std::memcpy(&event, buffer.data() + at, sizeof event);
                const char* name = buffer.data() + at + sizeof event;
                at += static_cast<ssize_t>(sizeof event + event.len);
                if ((event.mask & (IN_IGNORED | IN_MOVE_SELF)) != 0) {
                    forget(event.wd, (event.mask & IN_MOVE_SELF) != 0);
                }
                const bool folderChanged =
                    (event.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_Q_OVERFLOW)) !=
                    0;
                relevant = relevant || folderChanged || (event.len > 0 && names.contains(name));
            }
        }
        if (relevant) {
            // A replaced link may now point into another folder.
            rewatch();
            settle.start();
        }
    }
};

FileWatcher::FileWatcher(fs::path file, std::function<void()> changed)
    : impl_(std::make_unique<Impl>()) {
    Impl& d = *impl_;
    d.file = std::move(file);
    d.changed = std::move(changed);
    d.fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (d.fd < 0) {
        return;
    }
    d.settle.setSingleShot(true);
    d.settle.setInterval(settleMilliseconds);
    QObject::connect(&d.settle, &QTimer::timeout, [&d] { d.changed(); });
    d.rewatch();
    d.notifier = std::make_unique<QSocketNotifier>(d.fd, QSocketNotifier::Read);
    QObject::connect(d.notifier.get(), &QSocketNotifier::activated, [&d] { d.readEvents(); });
}

FileWatcher::~FileWatcher() {
    if (impl_->fd >= 0) {
        impl_->notifier.reset();
        ::close(impl_->fd);
    }
}

}  // namespace ombrel::linux_platform
