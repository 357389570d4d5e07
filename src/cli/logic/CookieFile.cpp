#include "cli/logic/CookieFile.h"

#include <charconv>

#include "common/Text.h"

namespace nuv {

bool HasCookieControl(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    return false;
}

std::vector<FileCookie> ParseCookieFile(std::string_view text, std::int64_t now, std::size_t* skipped) {
    std::vector<FileCookie> cookies;
    std::size_t odd = 0;
    text = text.substr(0, kMaxCookieFileBytes);
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        FileCookie c;
        constexpr std::string_view kHttpOnly = "#HttpOnly_";
        if (line.substr(0, kHttpOnly.size()) == kHttpOnly) {
            c.httpOnly = true;
            line.remove_prefix(kHttpOnly.size());
        } else if (TrimView(line).empty() || line.front() == '#') {
            continue;
        }
        std::vector<std::string_view> fields;
        for (size_t from = 0;;) {
            const size_t tab = line.find('\t', from);
            fields.push_back(line.substr(from, tab == std::string_view::npos ? std::string_view::npos : tab - from));
            if (tab == std::string_view::npos) break;
            from = tab + 1;
        }
        const auto flag = [](std::string_view f) { return f == "TRUE" || f == "FALSE"; };
        std::int64_t expires = 0;
        if (fields.size() != 7 || !flag(fields[1]) || !flag(fields[3]) || fields[5].empty() ||
            std::from_chars(fields[4].data(), fields[4].data() + fields[4].size(), expires).ec != std::errc() ||
            HasCookieControl(fields[5]) || HasCookieControl(fields[6]) || HasCookieControl(fields[0]) ||
            HasCookieControl(fields[2])) {
            ++odd;
            continue;
        }
        if (expires != 0 && expires < now) continue;
        std::string_view domain = fields[0];
        if (!domain.empty() && domain.front() == '.') domain.remove_prefix(1);
        if (domain.empty()) {
            ++odd;
            continue;
        }
        c.domain = LowerAscii(domain);
        c.subdomains = fields[1] == "TRUE" || fields[0].front() == '.';
        c.path = fields[2].empty() ? "/" : std::string(fields[2]);
        c.secure = fields[3] == "TRUE";
        c.expires = expires;
        c.name = std::string(fields[5]);
        c.value = std::string(fields[6]);
        cookies.push_back(std::move(c));
    }
    if (skipped) *skipped = odd;
    return cookies;
}

}  // namespace nuv
