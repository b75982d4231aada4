// Notices changes to one file made by other programs, on the Qt main loop, through inotify.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>

namespace ombrel::linux_platform {

// Calls back on the main thread shortly (a tenth of a second) after the last of a burst of
// changes: the file written in place, replaced by a rename (as editors save), created or
// removed, or, for a symbolic link, the link replaced or the file it points at changed in its
// own folder. Writes of the program itself are reported too; the callback tells them apart.
// Without inotify it never calls back.
class FileWatcher {
  public:
    FileWatcher(std::filesystem::path file, std::function<void()> changed);
    ~FileWatcher();
    FileWatcher(const FileWatcher&) = delete;
    FileWatcher& operator=(const FileWatcher&) = delete;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ombrel::linux_platform
