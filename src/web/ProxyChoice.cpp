#include "web/ProxyChoice.h"

#include <charconv>
#include <cstdlib>

#include "common/Text.h"

namespace nuv {

std::string EnvironmentProxy(std::string_view scheme, const std::string& host, const std::string& given) {
    const auto env = [](const char* lower, const char* upper) {
        const char* v = std::getenv(lower);
        if ((!v || !*v) && upper) v = std::getenv(upper);
        return v ? std::string(v) : std::string();
    };
    const std::string exempt = env("no_proxy", "NO_PROXY");
    for (size_t at = 0; at <= exempt.size();) {
        size_t comma = exempt.find(',', at);
        if (comma == std::string::npos) comma = exempt.size();
        std::string entry = LowerAscii(TrimView(std::string_view(exempt).substr(at, comma - at)));
        at = comma + 1;
        if (entry == "*") return {};
        if (!entry.empty() && entry.front() == '.') entry.erase(0, 1);
        if (entry.size() > 2 && entry.front() == '[' && entry.back() == ']') entry = entry.substr(1, entry.size() - 2);
        if (entry.empty()) continue;
        if (host == entry) return {};
        if (host.size() > entry.size() && host.compare(host.size() - entry.size(), entry.size(), entry) == 0 &&
            host[host.size() - entry.size() - 1] == '.')
            return {};
    }
    if (!given.empty()) return given;
    std::string proxy = scheme == "https" ? env("https_proxy", "HTTPS_PROXY") : env("http_proxy", nullptr);
    if (proxy.empty()) proxy = env("all_proxy", "ALL_PROXY");
    return proxy;
}

std::optional<ProxyServer> SplitProxyAddress(std::string_view address) {
    ProxyServer proxy;
    std::string_view rest = address;
    const size_t colon = rest.find("://");
    proxy.scheme = colon == std::string_view::npos ? "http" : LowerAscii(rest.substr(0, colon));
    if (colon != std::string_view::npos) rest.remove_prefix(colon + 3);
    rest = rest.substr(0, rest.find('/'));
    if (const size_t at = rest.rfind('@'); at != std::string_view::npos) {
        const std::string_view credentials = rest.substr(0, at);
        const size_t split = credentials.find(':');
        proxy.user = PercentDecoded(credentials.substr(0, split));
        if (split != std::string_view::npos) proxy.password = PercentDecoded(credentials.substr(split + 1));
        rest.remove_prefix(at + 1);
    }
    std::string_view port;
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        proxy.host = std::string(rest.substr(1, close - 1));
        rest.remove_prefix(close + 1);
        if (!rest.empty() && rest.front() != ':') return std::nullopt;
        if (!rest.empty()) port = rest.substr(1);
    } else {
        const size_t split = rest.rfind(':');
        proxy.host = std::string(rest.substr(0, split));
        if (split != std::string_view::npos) port = rest.substr(split + 1);
    }
    if (proxy.host.empty()) return std::nullopt;
    if (!port.empty()) {
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), proxy.port);
        if (ec != std::errc() || end != port.data() + port.size() || proxy.port < 1 || proxy.port > 65535)
            return std::nullopt;
    } else {
        proxy.port = StartsWith(proxy.scheme, "socks") ? 1080 : proxy.scheme == "https" ? 443 : 80;
    }
    return proxy;
}

}  // namespace nuv
