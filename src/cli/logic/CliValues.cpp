#include "cli/logic/CliValues.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <string>

#include "cli/logic/ExtractCli.h"
#include "common/Text.h"

namespace nuv {

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

std::string ProxyAddressProblem(std::string_view address) {
    if (address.size() > 2048) return "the proxy address is longer than 2048 bytes";
    for (char c : address)
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            return "the proxy address holds a space, a control character or a byte beyond ASCII";
    const size_t colon = address.find("://");
    const std::string scheme = LowerAscii(address.substr(0, colon == std::string_view::npos ? 0 : colon));
    if (scheme != "http" && scheme != "https" && scheme != "socks5" && scheme != "socks5h")
        return "the proxy needs http://, https://, socks5:// or socks5h:// HOST:PORT";
    std::string_view rest = address.substr(colon + 3);
    rest = rest.substr(0, rest.find('/'));
    if (const size_t at = rest.rfind('@'); at != std::string_view::npos) rest.remove_prefix(at + 1);
    if (rest.empty() || rest.front() == ':') return "the proxy address names no host";
    return {};
}

std::string EngineProxyServer(std::string_view address) {
    const size_t colon = address.find("://");
    if (LowerAscii(address.substr(0, colon)) == "socks5h") return "socks5" + std::string(address.substr(colon));
    return std::string(address);
}

}  // namespace nuv
