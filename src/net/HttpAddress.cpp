#include "net/HttpAddress.h"

#include "common/Text.h"
#include "net/HttpError.h"

namespace nuv {
namespace {

bool IsUnsafeByte(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b <= 32 || b == 127;
}

int ParsePort(std::string_view text) {
    if (text.empty() || text.size() > 5) throw HttpError("Invalid port: " + std::string(text));
    int port = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') throw HttpError("Invalid port: " + std::string(text));
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) throw HttpError("Invalid port: " + std::string(text));
    return port;
}

// Splits "user:password@host:port" into `a`.
void SplitAuthority(std::string_view authority, HttpAddress& a) {
    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        const std::string_view userInfo = authority.substr(0, at);
        authority.remove_prefix(at + 1);
        const size_t colon = userInfo.find(':');
        a.userName = std::string(userInfo.substr(0, colon));
        if (colon != std::string_view::npos && !a.userName.empty()) a.password = std::string(userInfo.substr(colon + 1));
    }
    std::string_view portText;
    if (!authority.empty() && authority.front() == '[') {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos) throw HttpError("Invalid host: " + std::string(authority));
        a.host = std::string(authority.substr(1, close - 1));
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty() && after.front() != ':') throw HttpError("Invalid host: " + std::string(authority));
        if (!after.empty()) portText = after.substr(1);
    } else {
        const size_t colon = authority.find(':');
        a.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) portText = authority.substr(colon + 1);
    }
    if (a.host.empty()) throw HttpError("Invalid address: no host");
    for (const char c : a.host)
        if (IsUnsafeByte(c) || c == '/' || c == '\\') throw HttpError("Invalid host: " + a.host);
    if (!portText.empty()) {
        a.port = ParsePort(portText);
        a.portGiven = true;
    }
}

}  // namespace

std::string HttpAddress::RequestTarget() const { return path + document + query; }

std::string HttpAddress::HostValue() const {
    const int usualPort = IsHttps() ? 443 : 80;
    const bool literal6 = host.find(':') != std::string::npos;
    const std::string name = literal6 ? "[" + host + "]" : host;
    return port == usualPort ? name : name + ":" + std::to_string(port);
}

HttpAddress SplitHttpAddress(std::string_view address) {
    HttpAddress a;
    std::string_view rest = address;
    const size_t schemeEnd = rest.find("://");
    if (schemeEnd != std::string_view::npos) {
        a.scheme = LowerAscii(rest.substr(0, schemeEnd));
        rest.remove_prefix(schemeEnd + 3);
    } else {
        a.scheme = "http";
    }

    // The fragment is never sent, wherever it stands.
    rest = rest.substr(0, rest.find('#'));

    const size_t authorityEnd = rest.find_first_of("/?");
    SplitAuthority(rest.substr(0, authorityEnd), a);
    rest = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
    if (!rest.empty() && rest.front() == '/') rest.remove_prefix(1);

    if (!a.portGiven) {
        if (a.scheme == "http") a.port = 80;
        else if (a.scheme == "https") a.port = 443;
        else throw HttpError("Protocol not supported: " + a.scheme);
    }

    // Path up to the last "/" before the query (before the first "=" when there is
    // no "?"), document up to the query, query from the "?" on.
    const size_t question = rest.find('?');
    const size_t limit = question != std::string_view::npos ? question : rest.find('=');
    const size_t slash = limit == std::string_view::npos ? rest.rfind('/')
                         : limit == 0                     ? std::string_view::npos
                                                          : rest.rfind('/', limit - 1);
    const size_t documentStart = slash == std::string_view::npos ? 0 : slash + 1;
    a.path = '/';
    a.path += EncodeUnsafeAddressBytes(rest.substr(0, documentStart));
    const std::string_view afterPath = rest.substr(documentStart);
    const size_t q = afterPath.find('?');
    a.document = EncodeUnsafeAddressBytes(afterPath.substr(0, q));
    if (q != std::string_view::npos) a.query = EncodeUnsafeAddressBytes(afterPath.substr(q));
    return a;
}

}  // namespace nuv
