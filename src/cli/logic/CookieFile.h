#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "web/Downloader.h"

// The cookie files that curl, wget and browser add-ons write (the Netscape format).
// Plain C++.
namespace nuv {

struct FileCookie {
    std::string domain;  // without a leading "."
    bool subdomains = false;  // also sent to the names under `domain`
    std::string path;
    bool secure = false;
    std::int64_t expires = 0;  // seconds since 1970; 0 for a cookie of the session
    std::string name;
    std::string value;
    bool httpOnly = false;  // the line began with "#HttpOnly_"
    SameSite sameSite = SameSite::Unset;  // a cookie file has none; a browser's profile has
};

// A name or value that a Cookie header cannot carry: it holds a control character.
bool HasCookieControl(std::string_view text);

// The cookies of a cookie file, one a line of seven fields separated by tabs: domain,
// subdomains ("TRUE"/"FALSE"), path, secure ("TRUE"/"FALSE"), expiry, name, value. Lines
// beginning with "#" are comments, except "#HttpOnly_" before the domain. Blank lines,
// lines of another shape, names or values with control characters, and cookies that
// expired before `now` are passed over; `skipped` counts those of another shape.
std::vector<FileCookie> ParseCookieFile(std::string_view text, std::int64_t now, std::size_t* skipped = nullptr);

// The most bytes of a cookie file that are read.
inline constexpr std::size_t kMaxCookieFileBytes = std::size_t{16} << 20;

}  // namespace nuv
