// Whole-file reads and atomic whole-file replacement on a POSIX file system.
#include "config/file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>

namespace ombrel::file_io {
namespace {

namespace fs = std::filesystem;

// Closes the descriptor when it goes out of scope.
class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { close(); }

    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] bool valid() const { return fd_ >= 0; }
    // Answers whether closing reported no error (a late write error may only show here).
    bool close() {
        if (fd_ < 0) {
            return true;
        }
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0;
    }

  private:
    int fd_;
};

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Makes the rename itself survive a crash; a failure only weakens that and is not an error.
void syncFolder(const fs::path& folder) {
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) {
        ::fsync(dir.get());
    }
}

// Follows a chain of symbolic links to the file they name, which need not exist yet.
fs::path resolveLink(const fs::path& path) {
    fs::path current = path;
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code ec;
        if (!fs::is_symlink(current, ec)) {
            return current;
        }
        fs::path target = fs::read_symlink(current, ec);
        if (ec) {
            return current;
        }
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return path;
}

// Creates a fresh file beside the target that nobody else uses.
std::pair<fs::path, int> createTemporary(const fs::path& target) {
    std::random_device entropy;
    std::uniform_int_distribution<unsigned> digit(0, 35);
    constexpr std::string_view alphabet = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string name = "." + target.filename().string() + ".";
        for (int i = 0; i < 8; ++i) {
            name += alphabet[digit(entropy)];
        }
        name += ".tmp";
        fs::path candidate = target.parent_path() / name;
        // The mode is the usual one for a new file; the user's umask still applies.
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            return {candidate, fd};
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return {{}, -1};
}

}  // namespace

std::variant<std::string, Missing, Unreadable> readWhole(const fs::path& path, std::size_t limit) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        return Missing{};
    }
    // A pipe or a device in the file's place would block or never end.
    if (ec || status.type() != fs::file_type::regular) {
        return Unreadable{};
    }
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        return errno == ENOENT ? std::variant<std::string, Missing, Unreadable>(Missing{})
                               : Unreadable{};
    }
    std::string bytes;
    char buffer[16384];
    while (true) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Unreadable{};
        }
        if (n == 0) {
            break;
        }
        if (bytes.size() + static_cast<std::size_t>(n) > limit) {
            return Unreadable{};
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

bool replaceAtomically(const fs::path& path, std::string_view bytes) {
    const fs::path target = resolveLink(path);
    auto [temporary, rawFd] = createTemporary(target);
    Fd fd(rawFd);
    if (!fd.valid()) {
        return false;
    }
    std::error_code ec;
    // A file the user has made private stays private.
    const fs::file_status existing = fs::status(target, ec);
    if (!ec && fs::is_regular_file(existing)) {
        fs::permissions(temporary, existing.permissions(), ec);
    }
    const bool written = writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0 && fd.close() &&
                         std::rename(temporary.c_str(), target.c_str()) == 0;
    if (!written) {
        fd.close();
        ::unlink(temporary.c_str());
        return false;
    }
    syncFolder(target.parent_path().empty() ? fs::path(".") : target.parent_path());
    return true;
}

}  // namespace ombrel::file_io
