// Whole-file reads and atomic whole-file replacement on a POSIX file system.
#include "platform/posix/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>
#include <utility>

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
    // Hands the descriptor over; it is no longer closed here.
    int release() { return std::exchange(fd_, -1); }
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

bool ownedByUs(const struct stat& st) {
    return st.st_uid == ::geteuid();
}

// Where a save of path goes: the file a chain of the user's own links leads to, else the path
// itself. A link someone else made, or one that leads to someone else's file, is not followed:
// run with another user's folder, it could make this process overwrite any file it may write.
std::pair<fs::path, bool> saveTarget(const fs::path& path) {
    const auto replaceLink = [&] { return std::pair{path, true}; };
    fs::path current = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0) {
            if (current == path || errno != ENOENT) {
                return {path, current != path};
            }
            // Not there yet: created only in a folder of the user's.
            const fs::path parent = current.parent_path().empty() ? "." : current.parent_path();
            struct stat folder {};
            const bool own = ::stat(parent.c_str(), &folder) == 0 && S_ISDIR(folder.st_mode) &&
                             ownedByUs(folder);
            return own ? std::pair{current, false} : replaceLink();
        }
        if (!S_ISLNK(st.st_mode)) {
            return current == path || ownedByUs(st) ? std::pair{current, false} : replaceLink();
        }
        std::error_code ec;
        const fs::path target = fs::read_symlink(current, ec);
        if (ec || !ownedByUs(st)) {
            return replaceLink();
        }
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return replaceLink();
}

constexpr std::string_view nameAlphabet = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr std::size_t nameRandomLength = 8;
constexpr std::string_view temporarySuffix = ".tmp";

// ".config.json." before the random part of a temporary file beside the target.
std::string temporaryPrefix(const fs::path& target) {
    return "." + target.filename().string() + ".";
}

// Creates a fresh file beside the target that nobody else uses.
std::pair<fs::path, int> createTemporary(const fs::path& target) {
    std::random_device entropy;
    std::uniform_int_distribution<std::size_t> digit(0, nameAlphabet.size() - 1);
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string name = temporaryPrefix(target);
        for (std::size_t i = 0; i < nameRandomLength; ++i) {
            name += nameAlphabet[digit(entropy)];
        }
        name += temporarySuffix;
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

// A regular file of at most `limit` bytes, open for reading: its descriptor (the caller's to
// close) and size; or why it cannot be read.
using Opened = std::variant<std::pair<int, std::size_t>, Missing, Unreadable>;
Opened openRegular(const fs::path& path, std::size_t limit) {
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
        return errno == ENOENT ? Opened(Missing{}) : Opened(Unreadable{});
    }
    // Too large is known before a byte is read; the readers still stop a file that grows.
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uintmax_t>(st.st_size) > limit) {
        return Unreadable{};
    }
    return std::pair{fd.release(), static_cast<std::size_t>(st.st_size)};
}

// read(2) past interruptions: the count, 0 at the end, -1 on failure.
ssize_t readSome(int fd, char* into, std::size_t room) {
    ssize_t n = 0;
    do {
        n = ::read(fd, into, room);
    } while (n < 0 && errno == EINTR);
    return n;
}

}  // namespace

std::variant<std::string, Missing, Unreadable> readWhole(const fs::path& path, std::size_t limit) {
    auto opened = openRegular(path, limit);
    if (auto* failed = std::get_if<Missing>(&opened)) {
        return *failed;
    }
    if (auto* failed = std::get_if<Unreadable>(&opened)) {
        return *failed;
    }
    const auto [descriptor, expected] = std::get<std::pair<int, std::size_t>>(opened);
    const Fd fd(descriptor);
    // Read straight into a buffer of the file's size and one byte more, which tells a file that
    // grew meanwhile; it grows further only for such a file.
    std::string bytes(expected + 1, '\0');
    std::size_t size = 0;
    while (true) {
        if (size == bytes.size()) {
            bytes.resize(std::min(2 * bytes.size(), limit + 1));
        }
        const ssize_t n = readSome(fd.get(), bytes.data() + size, bytes.size() - size);
        if (n < 0) {
            return Unreadable{};
        }
        if (n == 0) {
            break;
        }
        size += static_cast<std::size_t>(n);
        if (size > limit) {
            return Unreadable{};
        }
    }
    bytes.resize(size);
    return bytes;
}

std::variant<std::monostate, Missing, Unreadable> readPieces(
    const fs::path& path, const std::function<void(std::string_view)>& piece, std::size_t limit) {
    auto opened = openRegular(path, limit);
    if (auto* failed = std::get_if<Missing>(&opened)) {
        return *failed;
    }
    if (auto* failed = std::get_if<Unreadable>(&opened)) {
        return *failed;
    }
    const Fd fd(std::get<std::pair<int, std::size_t>>(opened).first);
    std::array<char, std::size_t{64} << 10> buffer{};
    std::size_t size = 0;
    while (true) {
        const ssize_t n = readSome(fd.get(), buffer.data(), buffer.size());
        if (n < 0) {
            return Unreadable{};
        }
        if (n == 0) {
            return std::monostate{};
        }
        size += static_cast<std::size_t>(n);
        if (size > limit) {
            return Unreadable{};
        }
        piece({buffer.data(), static_cast<std::size_t>(n)});
    }
}

Replaced replaceAtomically(const fs::path& path, std::string_view bytes) {
    const auto [target, linkReplaced] = saveTarget(path);
    const auto failure = [&, linkReplaced = linkReplaced] {
        return Replaced{std::error_code(errno, std::generic_category()), linkReplaced};
    };
    auto [temporary, rawFd] = createTemporary(target);
    Fd fd(rawFd);
    if (!fd.valid()) {
        return failure();
    }
    // A file the user has made private stays private, but never locks its owner out.
    struct stat existing {};
    if (::lstat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        ::fchmod(fd.get(), (existing.st_mode & 0777U) | S_IRUSR | S_IWUSR);
    }
    if (!writeAll(fd.get(), bytes) || ::fsync(fd.get()) != 0 || !fd.close() ||
        std::rename(temporary.c_str(), target.c_str()) != 0) {
        Replaced failed = failure();
        fd.close();
        ::unlink(temporary.c_str());
        return failed;
    }
    syncFolder(target.parent_path().empty() ? fs::path(".") : target.parent_path());
    return {{}, linkReplaced};
}

int removeLeftovers(const fs::path& path) {
    const std::string prefix = temporaryPrefix(path);
    const auto isOurs = [&](const std::string& name) {
        if (name.size() != prefix.size() + nameRandomLength + temporarySuffix.size() ||
            !name.starts_with(prefix) || !name.ends_with(temporarySuffix)) {
            return false;
        }
        const std::string_view random =
            std::string_view(name).substr(prefix.size(), nameRandomLength);
        return random.find_first_not_of(nameAlphabet) == std::string_view::npos;
    };
    const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    int removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ignored;
        if (isOurs(it->path().filename().string()) && it->is_regular_file(ignored) &&
            !it->is_symlink(ignored) && fs::remove(it->path(), ignored)) {
            ++removed;
        }
    }
    return removed;
}

}  // namespace ombrel::file_io
