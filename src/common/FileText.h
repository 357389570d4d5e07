#pragma once

#include <optional>
#include <string>
#include <string_view>

// Whole-file reads and safe whole-file writes.
namespace nuv {

// The bytes of the file at `path`, nullopt when it cannot be opened or read.
std::optional<std::string> ReadFileText(const std::string& path);

// Replaces the file at `path` with `content` so that no reader ever sees a part of it:
// the bytes go to a new temporary file in the same folder, are flushed to the disk,
// and only then is that file renamed over `path`. On any failure the temporary file
// is removed, an existing file stays as it was, and std::runtime_error is thrown.
// A replaced file keeps its permission bits; a new one gets rw-r--r--.
void WriteFileAtomically(const std::string& path, std::string_view content);

}  // namespace nuv
