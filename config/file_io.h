// Whole-file reads that tell a missing file from an unreadable one, and atomic whole-file writes.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <variant>

namespace ombrel::file_io {

struct Missing {};
struct Unreadable {};

// The file's bytes; Missing only when nothing exists at the path, Unreadable for every other
// failure: permission, I/O error, something other than a regular file in its place, or more
// bytes than the limit.
std::variant<std::string, Missing, Unreadable> readWhole(const std::filesystem::path& path,
                                                         std::size_t limit = std::size_t{64} << 20);

// Writes the bytes to a new file beside the target, flushes it to the disk and renames it over
// the target, so a reader sees either the old or the new content, never a part. A symbolic link
// at the path is followed, so the file it points at is replaced and the link stays. Answers
// whether the new content is in place; on failure the target is untouched and no temporary file
// is left behind.
bool replaceAtomically(const std::filesystem::path& path, std::string_view bytes);

}  // namespace ombrel::file_io
