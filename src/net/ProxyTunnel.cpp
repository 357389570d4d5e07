#include "net/ProxyTunnel.h"

#include <netinet/in.h>

#include <cstring>

#include <openssl/evp.h>

#include "common/Text.h"
#include "net/HttpError.h"
#include "net/TcpStream.h"

namespace nuv {
namespace {

// The most bytes of a proxy's answer to CONNECT that are read.
constexpr size_t kMaxConnectAnswer = 16 * 1024;

std::string ReadExactly(IByteStream& stream, size_t size, IoTimeout timeout) {
    std::string bytes(size, '\0');
    for (size_t got = 0; got < size;) {
        const size_t n = stream.ReadSome(bytes.data() + got, size - got, timeout);
        if (n == 0) throw HttpError("The proxy closed the connection");
        got += n;
    }
    return bytes;
}

std::string SocksFailure(int code) {
    switch (code) {
        case 1: return "general failure";
        case 2: return "not allowed by its rules";
        case 3: return "network unreachable";
        case 4: return "host unreachable";
        case 5: return "connection refused";
        case 6: return "time-out";
        case 7: return "command not supported";
        case 8: return "address type not supported";
        default: return "code " + std::to_string(code);
    }
}

void Socks5(IByteStream& stream, const ProxyServer& proxy, const std::string& host, int port, AddressSpace reach,
            IoTimeout timeout) {
    // The address to ask for: the name, or with socks5:// the number it resolves to here.
    std::string target;
    if (proxy.scheme == "socks5") {
        const std::vector<ResolvedAddress> addresses = SystemResolve(host, std::to_string(port));
        std::string refused;
        for (const ResolvedAddress& a : addresses) {
            const auto* address = reinterpret_cast<const sockaddr*>(&a.address);
            if (!MayReach(reach, SpaceOfSocketAddress(address))) {
                if (refused.empty()) refused = SocketAddressText(address);
                continue;
            }
            if (a.family == AF_INET) {
                const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
                target = std::string("\x01", 1) + std::string(reinterpret_cast<const char*>(&v4->sin_addr), 4);
                break;
            }
            if (a.family == AF_INET6) {
                const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
                target = std::string("\x04", 1) + std::string(reinterpret_cast<const char*>(&v6->sin6_addr), 16);
                break;
            }
        }
        if (target.empty() && !refused.empty()) throw HttpRefusedError(PrivateNetworkRefusal(refused, reach));
        if (target.empty()) throw HttpError("Could not resolve " + host);
    } else {
        JudgeProxiedHost(host, reach);
        if (host.size() > 255) throw HttpError("The host name is too long for a SOCKS proxy");
        target = std::string("\x03", 1) + static_cast<char>(host.size()) + host;
    }
    const bool login = !proxy.user.empty();
    stream.WriteAll(login ? std::string("\x05\x02\x00\x02", 4) : std::string("\x05\x01\x00", 3), timeout);
    const std::string method = ReadExactly(stream, 2, timeout);
    if (method[0] != 5) throw HttpError("The proxy does not speak SOCKS5");
    if (method[1] == 2 && login) {
        if (proxy.user.size() > 255 || proxy.password.size() > 255)
            throw HttpError("The proxy's user name or password is too long for SOCKS5");
        stream.WriteAll(std::string("\x01", 1) + static_cast<char>(proxy.user.size()) + proxy.user +
                            static_cast<char>(proxy.password.size()) + proxy.password,
                        timeout);
        if (ReadExactly(stream, 2, timeout)[1] != 0) throw HttpError("The SOCKS proxy refused the user name or password");
    } else if (method[1] != 0) {
        throw HttpError(login ? "The SOCKS proxy accepts no way of logging in that is offered"
                              : "The SOCKS proxy asks for a user name and password");
    }
    const char portBytes[2] = {static_cast<char>((port >> 8) & 0xFF), static_cast<char>(port & 0xFF)};
    stream.WriteAll(std::string("\x05\x01\x00", 3) + target + std::string(portBytes, 2), timeout);
    const std::string answer = ReadExactly(stream, 4, timeout);
    if (answer[0] != 5) throw HttpError("The proxy does not speak SOCKS5");
    if (answer[1] != 0)
        throw HttpError("The SOCKS proxy could not connect to " + host + ":" + std::to_string(port) + " (" +
                        SocksFailure(static_cast<unsigned char>(answer[1])) + ")");
    // The address it bound: four bytes, sixteen, or a name of the length that comes first; then the port.
    const int type = answer[3];
    const size_t rest = type == 1   ? 4
                        : type == 4 ? 16
                        : type == 3 ? static_cast<unsigned char>(ReadExactly(stream, 1, timeout)[0])
                                    : throw HttpError("The SOCKS proxy answered with an unknown address type");
    ReadExactly(stream, rest + 2, timeout);
}

void Connect(IByteStream& stream, const ProxyServer& proxy, const std::string& host, int port, AddressSpace reach,
             IoTimeout timeout) {
    JudgeProxiedHost(host, reach);
    const std::string authority = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
                                  std::to_string(port);
    std::string request = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
    if (const std::string login = ProxyAuthorization(proxy); !login.empty())
        request += "Proxy-Authorization: " + login + "\r\n";
    stream.WriteAll(request + "\r\n", timeout);
    // Byte by byte: what follows the answer's head belongs to the tunnel.
    std::string head;
    while (head.size() < 4 || head.compare(head.size() - 4, 4, "\r\n\r\n") != 0) {
        if (head.size() >= kMaxConnectAnswer) throw HttpError("The proxy's answer to CONNECT is too long");
        head += ReadExactly(stream, 1, timeout);
    }
    const std::string status = head.substr(0, head.find("\r\n"));
    const size_t space = status.find(' ');
    if (!StartsWith(status, "HTTP/") || space == std::string::npos || status.compare(space + 1, 1, "2") != 0)
        throw HttpError("The proxy refused the tunnel to " + authority + ": " + status);
}

}  // namespace

void JudgeProxiedHost(const std::string& host, AddressSpace reach) {
    if (const auto space = SpaceOfIpText(host); space && !MayReach(reach, *space))
        throw HttpRefusedError(PrivateNetworkRefusal(host, reach));
}

void OpenProxyTunnel(IByteStream& stream, const ProxyServer& proxy, const std::string& host, int port,
                     AddressSpace reach, IoTimeout timeout) {
    if (StartsWith(proxy.scheme, "socks5")) {
        Socks5(stream, proxy, host, port, reach, timeout);
    } else if (proxy.scheme == "http") {
        Connect(stream, proxy, host, port, reach, timeout);
    } else {
        throw HttpError("Frame pages cannot go through a " + proxy.scheme + ":// proxy");
    }
}

std::string ProxyAuthorization(const ProxyServer& proxy) {
    if (proxy.user.empty()) return {};
    const std::string login = proxy.user + ":" + proxy.password;
    std::string encoded(4 * ((login.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                  reinterpret_cast<const unsigned char*>(login.data()), static_cast<int>(login.size()));
    encoded.resize(static_cast<size_t>(n));
    return "Basic " + encoded;
}

}  // namespace nuv
