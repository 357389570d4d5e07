#pragma once

#include <optional>
#include <string>
#include <string_view>

// Which proxy a request goes through, for every client of the program that connects
// outside the engine: the downloader and the frame client.
namespace nuv {

// The proxy for a request to `scheme`://`host`: `given` (nuv-extract --proxy) when set,
// else the one the environment names, as libcurl reads it ("http_proxy" in lower case
// only, "https_proxy" or "HTTPS_PROXY", then "all_proxy" or "ALL_PROXY"); "no_proxy" or
// "NO_PROXY" exempts "*", a host and the names under a domain from either; "" for a
// direct connection. The clients decide it themselves, so that the network rule knows
// which connections go to the proxy.
std::string EnvironmentProxy(std::string_view scheme, const std::string& host, const std::string& given);

// A proxy address taken apart.
struct ProxyServer {
    std::string scheme;  // lower-cased; "http" when the address gave none, as libcurl takes it
    std::string user;    // percent-decoded; "" without credentials
    std::string password;
    std::string host;    // an IPv6 literal without its brackets
    int port = 0;        // the given port, else 1080 for SOCKS, 443 for https, 80 for http
};

// `address` ("[SCHEME://][USER[:PASSWORD]@]HOST[:PORT][/]") taken apart; nothing when it
// names no host or its port is not a number from 1 to 65535.
std::optional<ProxyServer> SplitProxyAddress(std::string_view address);

}  // namespace nuv
