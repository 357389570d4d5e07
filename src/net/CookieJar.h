#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nuv {

// Seconds since 1970-01-01 00:00:00 UTC.
using UnixSeconds = std::int64_t;

struct Cookie {
    std::string name;
    std::string value;
    std::string domain;  // as stored: the request host, or "." + the parent domain
    std::string path;
    std::optional<UnixSeconds> expires;  // none: lives as long as the jar
    bool secure = false;
    bool hostOnly = false;  // set by a host that is itself a public suffix: sent to it alone
};

// Reads an HTTP date in any of the forms servers use in cookies ("Wed, 09 Jun 2021
// 10:18:14 GMT", "Wednesday, 09-Jun-21 10:18:14 GMT", "Wed Jun  9 10:18:14 2021").
// Two-digit years below 70 are 20xx. None when the text is not such a date.
std::optional<UnixSeconds> ParseCookieDate(std::string_view text);

// The in-memory cookie jar of one HTTP client: cookies grouped by domain, kept in the
// order they first arrived. Never written to disk.
class CookieJar {
public:
    // Stores the cookie of one "Set-Cookie" header value (Netscape / RFC 2109 syntax)
    // received from `host` for a request whose path (directory part) is `requestPath`.
    // A Domain attribute that is a public suffix ("com", "co.uk") is refused, unless it
    // names the sending host itself.
    void StoreSetCookie(std::string_view value, const std::string& host, const std::string& requestPath,
                        UnixSeconds now);
    // Stores the cookies of one "Set-Cookie2" header value (RFC 2965 syntax: several
    // cookies separated by commas, quoted values allowed).
    void StoreSetCookie2(std::string_view value, const std::string& host, const std::string& requestPath,
                         UnixSeconds now);

    // Removes the cookies whose expiry is not after `now`.
    void RemoveExpired(UnixSeconds now);

    // The value of the Cookie header for a request to `host` and `requestPath` (path
    // and document), or empty text when no cookie qualifies. A cookie goes only to its
    // own domain and the hosts below it, only on a path it is a prefix of, only with a
    // non-empty value, and when it is marked secure only over an encrypted transport.
    // Longer (later sorting) paths come first.
    std::string CookieHeader(const std::string& host, const std::string& requestPath, bool encrypted) const;

    // Every cookie held, domain group by domain group.
    std::vector<Cookie> All() const;
    bool Empty() const { return groups_.empty(); }

private:
    struct Group {
        std::string domain;
        std::vector<Cookie> cookies;
    };

    // Adds or replaces (same name and path in the same domain) when the domain fits
    // the host that sent it.
    void Store(Cookie cookie, const std::string& host);

    std::vector<Group> groups_;
};

}  // namespace nuv
