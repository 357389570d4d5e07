#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The values nuv-extract's options take: times, counts and rates.
namespace nuv {

// Seconds as given to --timeout: a positive decimal number no larger than fits in
// milliseconds of an int; the milliseconds.
std::optional<int> ParseSeconds(std::string_view text);

// A decimal number from `low` to `high`, nothing else.
std::optional<int> ParseCount(std::string_view text, int low, int high);

// Bytes a second: a number, optionally with a fraction, and "k" (1024) or "m" (1024²).
std::optional<std::uint64_t> ParseRate(std::string_view text);

}  // namespace nuv
