// Whole-file reads that tell a missing file from an unreadable one, and atomic whole-file writes.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <variant>

namespace ombrel::file_io {

struct Missing {};
struct Unreadable {};

// The file's bytes; Missing only when nothing exists at the path, Unreadable for every other
// failure: permission, I/O error, something other than a regular file in its place, or more
// bytes than the limit.
std::variant<std::string, Missing, Unreadable> readWhole(const std::filesystem::path& path,
                                                         std::size_t limit = std::size_t{64} << 20);

// The same read handed out a piece at a time through one small buffer, so that nothing the size
// of the file is allocated; pieces already handed out stand even when the read then fails.
std::variant<std::monostate, Missing, Unreadable> readPieces(
    const std::filesystem::path& path, const std::function<void(std::string_view)>& piece,
    std::size_t limit = std::size_t{64} << 20);

// What replaceAtomically did.
struct Replaced {
    std::error_code error;      // empty when the new content is in place
    bool linkReplaced = false;  // a link at the path was replaced by the file rather than followed
    explicit operator bool() const { return !error; }
};

// Writes the bytes to a new file beside the target, flushes it to the disk and renames it over
// the target, so a reader sees either the old or the new content, never a part. A symbolic link
// at the path is followed only when every link on the way and the file it leads to (or, while
// that does not exist, the folder that would hold it) belong to the user the process runs as, so
// a dotfile manager's link stays; any other link is replaced by the file itself and what it led
// to is not touched. The new file keeps the mode of the file it replaces, except that its owner
// can always read and write it. On failure the target is untouched and no temporary file is left.
Replaced replaceAtomically(const std::filesystem::path& path, std::string_view bytes);

// Removes the temporary files that replaceAtomically left beside path when a process died
// during a save, and nothing else; answers how many.
int removeLeftovers(const std::filesystem::path& path);

}  // namespace ombrel::file_io
