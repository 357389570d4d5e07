#include "web/Robots.h"

#include "common/Text.h"
#include "web/FetchPolicy.h"

namespace nuv {
namespace {

// Whether `pattern` ("*" any run of bytes) matches the whole of `text`.
bool MatchesWhole(std::string_view pattern, std::string_view text) {
    size_t p = 0, t = 0;
    size_t star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// Whether the rule `pattern` matches `path`: from its start, to its end with a final "$".
bool Matches(std::string_view pattern, std::string_view path) {
    if (!pattern.empty() && pattern.back() == '$') return MatchesWhole(pattern.substr(0, pattern.size() - 1), path);
    return MatchesWhole(std::string(pattern) + "*", path);
}

// The value of a "key: value" line, without its comment; false when the line has no ":".
bool SplitLine(std::string_view line, std::string& key, std::string& value) {
    line = line.substr(0, line.find('#'));
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    key = LowerAscii(TrimView(line.substr(0, colon)));
    value = std::string(TrimView(line.substr(colon + 1)));
    return true;
}

}  // namespace

RobotsRules RobotsRules::DisallowAll() {
    RobotsRules r;
    r.rules_.push_back({"/", false});
    return r;
}

RobotsRules RobotsRules::Parse(std::string_view text, std::string_view token) {
    text = text.substr(0, kMaxRobotsBytes);
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    const std::string wanted = LowerAscii(token);
    RobotsRules mine;
    RobotsRules anyone;
    bool haveMine = false;
    bool haveAnyone = false;
    // The group being read: whether it names the token or "*", and whether its
    // user-agent lines are still coming.
    bool forMe = false;
    bool forAnyone = false;
    bool inAgents = false;
    std::string key, value;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (!SplitLine(line, key, value)) continue;
        if (key == "user-agent") {
            if (!inAgents) forMe = forAnyone = false;
            inAgents = true;
            const std::string agent = LowerAscii(value);
            if (agent == wanted) forMe = haveMine = true;
            if (agent == "*") forAnyone = haveAnyone = true;
            continue;
        }
        if (key != "allow" && key != "disallow") continue;  // sitemap, crawl-delay, ...
        inAgents = false;
        if (value.empty()) continue;  // an empty disallow disallows nothing
        const Rule rule{value, key == "allow"};
        if (forMe) mine.rules_.push_back(rule);
        if (forAnyone) anyone.rules_.push_back(rule);
    }
    if (haveMine) return mine;
    if (haveAnyone) return anyone;
    return AllowAll();
}

bool RobotsRules::Allows(std::string_view path) const {
    if (path == "/robots.txt") return true;
    size_t best = 0;
    bool allowed = true;
    bool matched = false;
    for (const Rule& r : rules_) {
        if (!Matches(r.pattern, path)) continue;
        const size_t length = r.pattern.size();
        if (!matched || length > best || (length == best && r.allow && !allowed)) {
            best = length;
            allowed = r.allow;
            matched = true;
        }
    }
    return allowed;
}

std::string RobotsAddressOf(std::string_view address) {
    const std::string scheme = AddressScheme(address);
    if (scheme != "http" && scheme != "https") return {};
    const size_t start = address.find("://") + 3;
    size_t end = address.find_first_of("/?#", start);
    if (end == std::string_view::npos) end = address.size();
    std::string_view authority = address.substr(start, end - start);
    if (const size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    if (authority.empty()) return {};
    return scheme + "://" + LowerAscii(authority) + "/robots.txt";
}

std::string RobotsPathOf(std::string_view address) {
    const size_t scheme = address.find("://");
    if (scheme == std::string_view::npos) return "/";
    size_t start = address.find_first_of("/?#", scheme + 3);
    if (start == std::string_view::npos) return "/";
    std::string_view rest = address.substr(start);
    rest = rest.substr(0, rest.find('#'));
    std::string path(rest);
    if (path.empty() || path.front() != '/') path.insert(0, "/");
    return path;
}

}  // namespace nuv
