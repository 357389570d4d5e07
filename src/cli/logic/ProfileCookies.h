#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/logic/CookieFile.h"
#include "common/BrowserProfiles.h"

// The cookies of a browser the user logged in with: Firefox's cookies.sqlite and the
// Cookies database of the Chromium family, read from a copy so that neither a running
// browser's lock nor its write-ahead log is in the way. Plain C++.
namespace nuv {

// What --cookies-from-browser names: "firefox" or a browser of the Chromium family
// (chromium, chrome, brave, edge, ...), and optionally ":PROFILE": a profile's name or
// folder name, or the path of its folder.
struct CookieBrowser {
    std::string browser;
    std::string profile;
};

// Reads BROWSER[:PROFILE] into `out`; returns why it cannot, or "".
std::string ParseCookieBrowser(std::string_view value, CookieBrowser& out);

struct ProfileCookies {
    std::string database;  // the file the cookies were read from
    std::vector<FileCookie> cookies;
    // "NAME for HOST" of each value that could not be decrypted (a Chromium keeping its
    // key in the desktop's keyring); those cookies are left out.
    std::vector<std::string> undecryptable;
};

// The cookies of the profile that `which` names (without a profile: the one whose
// cookie database changed last) that have not expired before `now`.
// Throws std::runtime_error saying what is missing or unreadable.
ProfileCookies ReadProfileCookies(const CookieBrowser& which, const BrowserFolders& folders,
                                  std::int64_t now);

// A value of Chromium's encrypted_value column as Linux Chromium stores it without a
// keyring: "v10" (or "v11" under an empty keyring password), AES-128-CBC with a key
// derived from a fixed password. Databases of version 24 and later put the SHA-256 of
// the cookie's host before the value (`hostDigest`), which is checked and removed.
// Nothing when it cannot be decrypted.
std::optional<std::string> DecryptChromiumValue(std::string_view encrypted,
                                                std::string_view hostKey, bool hostDigest);

// The most bytes of a cookie database (and of its write-ahead log) that are copied.
inline constexpr std::uintmax_t kMaxCookieDatabaseBytes = std::uintmax_t{256} << 20;

}  // namespace nuv
