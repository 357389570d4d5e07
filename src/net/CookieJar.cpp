#include "net/CookieJar.h"

#include <algorithm>
#include <array>
#include <limits>

#include "common/Text.h"
#include "web/FetchPolicy.h"

namespace nuv {
namespace {

constexpr std::array<std::string_view, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                      "jul", "aug", "sep", "oct", "nov", "dec"};

bool AllDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool AllLetters(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        const char l = LowerAsciiChar(c);
        return l >= 'a' && l <= 'z';
    });
}

int SmallNumber(std::string_view s) {  // s holds 1 to 4 digits
    int n = 0;
    for (const char c : s) n = n * 10 + (c - '0');
    return n;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool ParseTime(std::string_view s, int& h, int& m, int& sec) {
    int parts[3] = {0, 0, 0};
    int count = 0;
    while (count < 3) {
        const size_t colon = s.find(':');
        const std::string_view part = s.substr(0, colon);
        if (!AllDigits(part) || part.size() > 2) return false;
        parts[count++] = SmallNumber(part);
        if (colon == std::string_view::npos) break;
        s.remove_prefix(colon + 1);
    }
    if (count < 2) return false;
    h = parts[0];
    m = parts[1];
    sec = parts[2];
    return h <= 23 && m <= 59 && sec <= 60;
}

// Splits `text` at `separator`, outside double quotes when `quotesGroup`.
std::vector<std::string_view> SplitOutsideQuotes(std::string_view text, char separator, bool quotesGroup = true) {
    std::vector<std::string_view> parts;
    bool quoted = false;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"' && quotesGroup) quoted = !quoted;
        else if (text[i] == separator && !quoted) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::string Unquote(std::string_view s) {
    s = TrimView(s);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
    return std::string(s);
}

bool IsIpAddressText(const std::string& host) {
    if (host.find(':') != std::string::npos) return true;  // IPv6 literal
    return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

// The default path of a cookie: the request's directory without its last "/".
std::string DefaultPath(const std::string& requestPath) {
    const size_t slash = requestPath.rfind('/');
    if (slash == std::string::npos || slash == 0) return "/";
    return requestPath.substr(0, slash);
}

// Reads the attributes of one cookie ("name=value; attr=value; flag").
std::optional<Cookie> ParseOneCookie(std::string_view text, bool quotedAttributes, const std::string& host,
                                     const std::string& requestPath, UnixSeconds now) {
    const std::vector<std::string_view> pieces = SplitOutsideQuotes(text, ';', quotedAttributes);
    if (pieces.empty()) return std::nullopt;

    Cookie cookie;
    const std::string_view first = pieces.front();
    const size_t eq = first.find('=');
    cookie.name = Trim(first.substr(0, eq));
    if (eq != std::string_view::npos) cookie.value = Trim(first.substr(eq + 1));
    if (cookie.name.empty()) return std::nullopt;

    std::optional<UnixSeconds> maxAgeExpiry;
    std::string domain;
    for (size_t i = 1; i < pieces.size(); ++i) {
        const std::string_view piece = pieces[i];
        const size_t e = piece.find('=');
        const std::string key = NormalizedKey(piece.substr(0, e));
        const std::string value = e == std::string_view::npos ? std::string() : Unquote(piece.substr(e + 1));
        if (key == "expires") {
            if (const auto t = ParseCookieDate(value)) cookie.expires = t;
        } else if (key == "max-age") {
            if (AllDigits(value)) {
                const UnixSeconds limit = std::numeric_limits<UnixSeconds>::max() / 4;
                UnixSeconds age = 0;
                for (const char c : value) age = std::min<UnixSeconds>(age * 10 + (c - '0'), limit);
                maxAgeExpiry = age == 0 ? now - 1 : now + age;
            } else if (value.size() > 1 && value.front() == '-' && AllDigits(value.substr(1))) {
                maxAgeExpiry = now - 1;
            }
        } else if (key == "domain") {
            domain = value;
        } else if (key == "path") {
            cookie.path = value;
        } else if (key == "secure") {
            cookie.secure = true;
        }
    }
    if (maxAgeExpiry) cookie.expires = maxAgeExpiry;
    if (cookie.path.empty()) cookie.path = DefaultPath(requestPath);

    // A cookie for a whole public suffix would reach every site under it.
    if (!domain.empty() && !IsIpAddressText(host) && IsPublicSuffix(domain)) {
        const std::string bare = domain.front() == '.' ? domain.substr(1) : domain;
        if (LowerAscii(bare) != LowerAscii(host)) return std::nullopt;
        cookie.domain = host;
        cookie.hostOnly = true;
        return cookie;
    }
    if (domain.empty() || IsIpAddressText(host) || domain == host || domain.front() == '.') {
        cookie.domain = domain.empty() ? host : domain;
    } else {
        cookie.domain = "." + domain;
    }
    return cookie;
}

// Whether a stored domain may be set by `host`: an IP address only for itself, a name
// for itself or, with a leading ".", for its immediate parent domain. Case counts.
bool DomainFitsSender(const std::string& domain, const std::string& host) {
    if (IsIpAddressText(host) || domain.empty() || domain.front() != '.') return domain == host;
    const size_t dot = host.find('.');
    return dot != std::string::npos && host.compare(dot, std::string::npos, domain) == 0;
}

// Whether a cookie of `domain` may go to `host`: the host is the domain (without its
// leading ".") or lies below it. Letters compare without case.
bool DomainServesHost(std::string_view domain, std::string_view host) {
    if (!domain.empty() && domain.front() == '.') domain.remove_prefix(1);
    if (domain.empty()) return false;
    const std::string d = LowerAscii(domain);
    const std::string h = LowerAscii(host);
    if (h == d) return true;
    return h.size() > d.size() && h.compare(h.size() - d.size(), d.size(), d) == 0 && h[h.size() - d.size() - 1] == '.';
}

}  // namespace

std::optional<UnixSeconds> ParseCookieDate(std::string_view text) {
    int day = -1;
    int month = -1;
    int year = -1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    bool timeSeen = false;
    size_t i = 0;
    while (i < text.size()) {
        const auto isSeparator = [](char c) { return c == ' ' || c == '\t' || c == ',' || c == '-' || c == '/'; };
        while (i < text.size() && isSeparator(text[i])) ++i;
        size_t j = i;
        while (j < text.size() && !isSeparator(text[j])) ++j;
        const std::string_view token = text.substr(i, j - i);
        i = j;
        if (token.empty()) continue;
        if (token.find(':') != std::string_view::npos) {
            if (timeSeen || !ParseTime(token, hour, minute, second)) return std::nullopt;
            timeSeen = true;
        } else if (AllDigits(token)) {
            if (token.size() > 4) return std::nullopt;
            const int n = SmallNumber(token);
            if (day < 0 && token.size() <= 2 && n >= 1 && n <= 31) {
                day = n;
            } else if (year < 0 && (token.size() == 2 || token.size() == 4)) {
                year = token.size() == 2 ? (n < 70 ? 2000 + n : 1900 + n) : n;
            } else {
                return std::nullopt;
            }
        } else if (AllLetters(token) && token.size() >= 3) {
            const std::string low = LowerAscii(token.substr(0, 3));
            const auto it = std::find(kMonths.begin(), kMonths.end(), low);
            if (it != kMonths.end() && (token.size() == 3 || month < 0)) {
                if (month >= 0) return std::nullopt;
                month = static_cast<int>(it - kMonths.begin()) + 1;
            }
            // weekday names and "GMT" / "UTC" carry nothing we need
        }
        // zone offsets such as "+0000" are ignored: cookie dates are in GMT
    }
    if (day < 0 || month < 0 || year < 0) return std::nullopt;
    static constexpr int kDaysIn[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (day > kDaysIn[month - 1]) return std::nullopt;
    const std::int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return days * 86400 + hour * 3600 + minute * 60 + std::min(second, 59);
}

void CookieJar::StoreSetCookie(std::string_view value, const std::string& host, const std::string& requestPath,
                               UnixSeconds now) {
    if (auto cookie = ParseOneCookie(value, false, host, requestPath, now)) Store(std::move(*cookie), host);
}

void CookieJar::StoreSetCookie2(std::string_view value, const std::string& host, const std::string& requestPath,
                                UnixSeconds now) {
    for (const std::string_view one : SplitOutsideQuotes(value, ','))
        if (auto cookie = ParseOneCookie(one, true, host, requestPath, now)) Store(std::move(*cookie), host);
}

void CookieJar::Store(Cookie cookie, const std::string& host) {
    if (!DomainFitsSender(cookie.domain, host)) return;
    auto group = std::find_if(groups_.begin(), groups_.end(), [&](const Group& g) { return g.domain == cookie.domain; });
    if (group == groups_.end()) {
        groups_.push_back(Group{cookie.domain, {}});
        group = groups_.end() - 1;
    }
    for (Cookie& held : group->cookies) {
        if (held.name == cookie.name && held.path == cookie.path) {
            held = std::move(cookie);
            return;
        }
    }
    group->cookies.push_back(std::move(cookie));
}

void CookieJar::RemoveExpired(UnixSeconds now) {
    for (Group& g : groups_) {
        std::erase_if(g.cookies, [now](const Cookie& c) { return c.expires && *c.expires < now; });
    }
    std::erase_if(groups_, [](const Group& g) { return g.cookies.empty(); });
}

std::string CookieJar::CookieHeader(const std::string& host, const std::string& requestPath, bool encrypted) const {
    std::vector<const Cookie*> chosen;
    for (const Group& g : groups_) {
        if (!DomainServesHost(g.domain, host)) continue;
        for (const Cookie& c : g.cookies) {
            if (c.hostOnly && LowerAscii(c.domain) != LowerAscii(host)) continue;
            if (StartsWith(requestPath, c.path) && (!c.secure || encrypted) && !c.value.empty()) chosen.push_back(&c);
        }
    }
    std::stable_sort(chosen.begin(), chosen.end(), [](const Cookie* a, const Cookie* b) { return a->path < b->path; });
    std::string header;
    for (auto it = chosen.rbegin(); it != chosen.rend(); ++it) {
        if (!header.empty()) header += "; ";
        header += (*it)->name;
        header += '=';
        header += (*it)->value;
    }
    return header;
}

std::vector<Cookie> CookieJar::All() const {
    std::vector<Cookie> all;
    for (const Group& g : groups_) all.insert(all.end(), g.cookies.begin(), g.cookies.end());
    return all;
}

}  // namespace nuv
