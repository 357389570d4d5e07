#include "web/FetchPolicy.h"

#include <algorithm>
#include <optional>

#include <libpsl.h>

#include "common/Text.h"

namespace nuv {
namespace {

// The public suffix list: the system's copy when it is newer than the one built into
// libpsl. Loaded once, kept for the life of the process.
const psl_ctx_t* SuffixList() {
    static const psl_ctx_t* const list = [] {
        const psl_ctx_t* latest = psl_latest(nullptr);
        return latest ? latest : psl_builtin();
    }();
    return list;
}

bool IsIpAddressHost(std::string_view host) {
    if (host.find(':') != std::string_view::npos) return true;  // IPv6
    return !host.empty() && std::all_of(host.begin(), host.end(),
                                        [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

struct Origin {
    std::string scheme;
    std::string host;  // lower-cased, IPv6 without brackets
    int port = 0;
};

int DefaultPort(std::string_view scheme) {
    return scheme == "https" ? 443 : scheme == "http" ? 80 : 0;
}

// The origin of an http or https address; none for anything else or an address whose
// authority cannot be read.
std::optional<Origin> OriginOf(std::string_view address) {
    address = TrimView(address);
    Origin o;
    o.scheme = AddressScheme(address);
    if (o.scheme != "http" && o.scheme != "https") return std::nullopt;
    std::string_view rest = address.substr(o.scheme.size() + 1);
    if (rest.substr(0, 2) != "//") return std::nullopt;
    rest.remove_prefix(2);
    std::string_view authority = rest.substr(0, rest.find_first_of("/?#\\"));
    if (const size_t at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    std::string_view portText;
    if (!authority.empty() && authority.front() == '[') {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        o.host = LowerAscii(authority.substr(1, close - 1));
        if (authority.size() > close + 1) {
            if (authority[close + 1] != ':') return std::nullopt;
            portText = authority.substr(close + 2);
        }
    } else {
        const size_t colon = authority.find(':');
        o.host = LowerAscii(authority.substr(0, colon));
        if (colon != std::string_view::npos) portText = authority.substr(colon + 1);
    }
    if (o.host.empty()) return std::nullopt;
    o.port = DefaultPort(o.scheme);
    if (!portText.empty()) {
        if (portText.size() > 5 || !std::all_of(portText.begin(), portText.end(),
                                                [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        o.port = std::stoi(std::string(portText));
    }
    return o;
}

std::string OriginText(const Origin& o) {
    std::string text = o.scheme + "://";
    text += o.host.find(':') != std::string::npos ? "[" + o.host + "]" : o.host;
    if (o.port != DefaultPort(o.scheme)) text += ":" + std::to_string(o.port);
    return text + "/";
}

// The page address as sent to its own origin: no fragment, no user name or password.
std::string WithoutFragmentAndCredentials(std::string_view address) {
    address = TrimView(address);
    address = address.substr(0, address.find('#'));
    std::string text(address);
    const size_t start = text.find("://");
    if (start != std::string::npos) {
        const size_t authorityEnd = text.find_first_of("/?\\", start + 3);
        const size_t at =
            text.rfind('@', authorityEnd == std::string::npos ? std::string::npos : authorityEnd);
        if (at != std::string::npos && at > start) text.erase(start + 3, at + 1 - (start + 3));
    }
    return EncodeRequestAddress(text);
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (size_t tab = line.find('\t'); tab != std::string_view::npos;
         tab = line.find('\t', start)) {
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

}  // namespace

std::string AddressScheme(std::string_view address) {
    address = TrimView(address);
    const auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (address.empty() || !isLetter(address.front())) return {};
    for (size_t i = 1; i < address.size(); ++i) {
        const char c = address[i];
        if (c == ':') return LowerAscii(address.substr(0, i));
        if (!isLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return {};
    }
    return {};
}

bool IsLocalPageAddress(std::string_view pageAddress) {
    pageAddress = TrimView(pageAddress);
    return AddressScheme(pageAddress) == "file" || StartsWith(pageAddress, "/");
}

bool MayFetch(std::string_view address, std::string_view pageAddress) {
    const std::string scheme = AddressScheme(address);
    if (scheme.empty() || scheme == "http" || scheme == "https") return !TrimView(address).empty();
    return scheme == "file" && IsLocalPageAddress(pageAddress);
}

std::string RefusalText(std::string_view address) {
    const std::string scheme = AddressScheme(address);
    if (scheme == "file")
        return "refused: a local file is fetched only for a page that is itself a local file";
    return "refused: " + (scheme.empty() ? std::string("this") : "\"" + scheme + ":\"") +
           " addresses are not fetched, only http and https";
}

std::string RefererFor(std::string_view pageAddress, std::string_view target) {
    const std::optional<Origin> page = OriginOf(pageAddress);
    if (!page) return {};
    const std::optional<Origin> to = OriginOf(target);
    // A target without a scheme goes out as http.
    const std::string targetScheme = to ? to->scheme : AddressScheme(target).empty() ? "http" : "";
    if (page->scheme == "https" && targetScheme != "https") return {};
    if (to && to->scheme == page->scheme && to->host == page->host && to->port == page->port)
        return WithoutFragmentAndCredentials(pageAddress);
    return OriginText(*page);
}

std::string AddressHost(std::string_view address) {
    const std::optional<Origin> o = OriginOf(address);
    return o ? o->host : std::string();
}

std::string SiteOfHost(std::string_view host) {
    std::string h = LowerAscii(TrimView(host));
    while (!h.empty() && h.back() == '.') h.pop_back();
    if (h.empty() || IsIpAddressHost(h)) return h;
    const char* registrable = psl_registrable_domain(SuffixList(), h.c_str());
    return registrable ? std::string(registrable) : h;
}

bool IsPublicSuffix(std::string_view domain) {
    std::string d = LowerAscii(TrimView(domain));
    if (!d.empty() && d.front() == '.') d.erase(0, 1);
    while (!d.empty() && d.back() == '.') d.pop_back();
    if (d.empty() || IsIpAddressHost(d)) return false;
    return psl_is_public_suffix2(SuffixList(), d.c_str(), PSL_TYPE_ANY | PSL_TYPE_NO_STAR_RULE) !=
           0;
}

std::vector<std::string> CookieLinesForPage(const std::vector<CookieLine>& cookies,
                                            std::string_view pageAddress) {
    const std::string pageHost = AddressHost(pageAddress);
    const std::string pageSite = pageHost.empty() ? std::string() : SiteOfHost(pageHost);
    std::vector<std::string> lines;
    for (const CookieLine& cookie : cookies) {
        std::vector<std::string_view> fields = SplitTabs(cookie.netscape);
        if (fields.size() != 7) continue;
        if (cookie.sameSite == SameSite::None) {
            std::string line;
            for (size_t i = 0; i < fields.size(); ++i) {
                if (i > 0) line += '\t';
                line += i == 3 ? std::string_view("TRUE") : fields[i];
            }
            lines.push_back(std::move(line));
            continue;
        }
        std::string_view domain = fields[0];
        if (StartsWith(domain, "#HttpOnly_")) domain.remove_prefix(10);
        if (!domain.empty() && domain.front() == '.') domain.remove_prefix(1);
        if (!pageSite.empty() && SiteOfHost(domain) == pageSite) lines.push_back(cookie.netscape);
    }
    return lines;
}

}  // namespace nuv
