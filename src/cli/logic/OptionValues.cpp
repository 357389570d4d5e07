#include "cli/logic/OptionValues.h"

#include <charconv>
#include <climits>
#include <cmath>

namespace nuv {

// Seconds as given to --timeout: a positive decimal number no larger than fits in
std::optional<int> ParseSeconds(std::string_view text) {
    if (text.empty() || text.size() > 32) return std::nullopt;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || c == '.')) return std::nullopt;
    }
    double seconds = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (!std::isfinite(seconds) || seconds <= 0 || seconds * 1000.0 > INT_MAX) return std::nullopt;
    const double ms = std::ceil(seconds * 1000.0);
    return static_cast<int>(ms);
}

std::optional<int> ParseCount(std::string_view text, int low, int high) {
    int value = 0;
    if (text.empty() || text.size() > 9) return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) return std::nullopt;
    return value;
}

std::optional<std::uint64_t> ParseRate(std::string_view text) {
    std::uint64_t unit = 1;
    if (!text.empty() && (text.back() == 'k' || text.back() == 'K')) unit = 1024;
    if (!text.empty() && (text.back() == 'm' || text.back() == 'M')) unit = 1024 * 1024;
    if (unit > 1) text.remove_suffix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    const double bytes = std::floor(value * static_cast<double>(unit));
    if (!std::isfinite(bytes) || bytes < 1 || bytes > 1e15) return std::nullopt;
    return static_cast<std::uint64_t>(bytes);
}

}  // namespace nuv
