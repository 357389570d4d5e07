#include "web/AddressSpace.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <utility>
#include <mutex>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include "common/Text.h"
#include "web/FetchPolicy.h"

namespace nuv {
namespace {

AddressSpace SpaceOfIpv4(std::uint32_t a) {  // host byte order
    const auto in = [a](std::uint32_t net, int bits) { return (a >> (32 - bits)) == (net >> (32 - bits)); };
    if (in(0x7F000000u, 8) || in(0x00000000u, 8)) return AddressSpace::Local;
    if (in(0x0A000000u, 8) || in(0xAC100000u, 12) || in(0xC0A80000u, 16) || in(0xA9FE0000u, 16) ||
        in(0x64400000u, 10))
        return AddressSpace::Private;
    return AddressSpace::Public;
}

AddressSpace SpaceOfIpv6(const unsigned char* b) {
    static constexpr unsigned char kZero[16] = {};
    if (std::memcmp(b, kZero, 15) == 0 && (b[15] == 0 || b[15] == 1)) return AddressSpace::Local;
    static constexpr unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::memcmp(b, kMapped, 12) == 0)
        return SpaceOfIpv4((std::uint32_t{b[12]} << 24) | (std::uint32_t{b[13]} << 16) | (std::uint32_t{b[14]} << 8) |
                           b[15]);
    if ((b[0] & 0xFE) == 0xFC) return AddressSpace::Private;                        // fc00::/7
    if (b[0] == 0xFE && ((b[1] & 0xC0) == 0x80 || (b[1] & 0xC0) == 0xC0)) return AddressSpace::Private;  // fe80::/10, fec0::/10
    return AddressSpace::Public;
}

// The spaces of the addresses `host` resolves to now: the most open and the most private
// of them; both Public when it resolves to none.
std::pair<AddressSpace, AddressSpace> ResolvedSpaces(const std::string& host) {
    std::pair<AddressSpace, AddressSpace> spaces{AddressSpace::Public, AddressSpace::Public};
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list) return spaces;
    spaces.first = AddressSpace::Local;
    for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
        const AddressSpace s = SpaceOfSocketAddress(ai->ai_addr);
        if (static_cast<int>(s) < static_cast<int>(spaces.first)) spaces.first = s;
        if (static_cast<int>(s) > static_cast<int>(spaces.second)) spaces.second = s;
    }
    freeaddrinfo(list);
    return spaces;
}

// The space of a page's host name by the addresses it resolves to: the most open of
// them, so that a name whose answers mix public and private addresses counts as public.
AddressSpace SpaceOfName(const std::string& host) {
    static std::mutex mutex;
    static std::map<std::string, AddressSpace> known;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (const auto it = known.find(host); it != known.end()) return it->second;
    }
    const AddressSpace space = ResolvedSpaces(host).first;
    std::lock_guard<std::mutex> lock(mutex);
    if (known.size() > 4096) known.clear();
    known.emplace(host, space);
    return space;
}

// "localhost" and the names under it, which name the machine itself.
bool IsLocalhostName(std::string_view name) {
    return name == "localhost" || (name.size() > 10 && name.substr(name.size() - 10) == ".localhost");
}

}  // namespace

AddressSpace SpaceOfSocketAddress(const sockaddr* address) {
    if (!address) return AddressSpace::Public;
    if (address->sa_family == AF_INET) {
        sockaddr_in v4;
        std::memcpy(&v4, address, sizeof v4);
        return SpaceOfIpv4(ntohl(v4.sin_addr.s_addr));
    }
    if (address->sa_family == AF_INET6) {
        sockaddr_in6 v6;
        std::memcpy(&v6, address, sizeof v6);
        return SpaceOfIpv6(v6.sin6_addr.s6_addr);
    }
    return AddressSpace::Public;
}

std::optional<AddressSpace> SpaceOfIpText(std::string_view host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (host.empty() || host.size() > 64) return std::nullopt;
    const std::string text(host.substr(0, host.find('%')));  // an IPv6 zone is not part of the number
    in_addr v4{};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1) return SpaceOfIpv4(ntohl(v4.s_addr));
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.c_str(), &v6) == 1) return SpaceOfIpv6(v6.s6_addr);
    // Forms the resolver reads as numbers too ("2130706433", "127.1", "0x7f.1").
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST;
    hints.ai_family = AF_INET;
    addrinfo* list = nullptr;
    if (getaddrinfo(text.c_str(), nullptr, &hints, &list) == 0 && list) {
        const AddressSpace s = SpaceOfSocketAddress(list->ai_addr);
        freeaddrinfo(list);
        return s;
    }
    return std::nullopt;
}

AddressSpace SpaceOfPage(std::string_view pageAddress) {
    pageAddress = TrimView(pageAddress);
    if (pageAddress.empty() || IsLocalPageAddress(pageAddress)) return AddressSpace::Local;
    const std::string scheme = AddressScheme(pageAddress);
    if (scheme != "http" && scheme != "https") return AddressSpace::Public;
    std::string host = AddressHost(pageAddress);
    while (!host.empty() && host.back() == '.') host.pop_back();
    if (host.empty()) return AddressSpace::Public;
    if (const auto number = SpaceOfIpText(host)) return *number;
    if (IsLocalhostName(host)) return AddressSpace::Local;
    return SpaceOfName(host);
}

AddressSpace SpaceOfTargetHost(std::string_view host) {
    if (const auto number = SpaceOfIpText(host)) return *number;
    std::string name(host);
    while (!name.empty() && name.back() == '.') name.pop_back();
    if (IsLocalhostName(name)) return AddressSpace::Local;
    return ResolvedSpaces(name).second;
}

std::string PrivateNetworkRefusal(std::string_view address, AddressSpace page) {
    return "refused: private network address " + std::string(address) +
           (page == AddressSpace::Public ? " for a page on the public network" : " for a page on a private network");
}

std::string SocketAddressText(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address && address->sa_family == AF_INET) {
        sockaddr_in v4;
        std::memcpy(&v4, address, sizeof v4);
        inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    } else if (address && address->sa_family == AF_INET6) {
        sockaddr_in6 v6;
        std::memcpy(&v6, address, sizeof v6);
        inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    }
    return text;
}

}  // namespace nuv
