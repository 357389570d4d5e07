#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Whole-file reads and safe whole-file writes.
namespace nuv {

// The largest settings, history or configuration file the program reads.
inline constexpr std::size_t kSmallFileLimit = 1 << 20;

// The bytes of the regular file at `path` (links followed), nullopt when it cannot be
// opened or read, is something else (a FIFO, a device, a folder) or holds more than
// `maxBytes`. Never blocks on a file that is no regular file.
std::optional<std::string> ReadFileText(const std::string& path, std::size_t maxBytes = kSmallFileLimit);

// The first `bytes` bytes of the regular file at `path` (all of a shorter one), without
// following a link at its name; "" when it cannot be read or is no regular file.
std::string ReadFileHead(const std::string& path, std::size_t bytes);

// Replaces the file at `path` with `content` so that no reader ever sees a part of it:
// the bytes go to a new temporary file in the same folder, are flushed to the disk,
// and only then is that file renamed over `path`. On any failure the temporary file
// is removed, an existing file stays as it was, and std::runtime_error is thrown.
// A replaced file keeps its permission bits; a new one gets rw-r--r--.
void WriteFileAtomically(const std::string& path, std::string_view content);

}  // namespace nuv
