#pragma once

#include <string>
#include <string_view>
#include <vector>

// What a site's robots.txt lets a crawler fetch (RFC 9309).
namespace nuv {

// The rules of one robots.txt for one product token.
class RobotsRules {
public:
    // Everything allowed: no robots.txt, or one that is unavailable (an answer of 400 to 499).
    static RobotsRules AllowAll() { return RobotsRules(); }
    // Nothing allowed: a robots.txt that is unreachable (an answer of 500 and more, or no
    // answer), as the crawler must assume.
    static RobotsRules DisallowAll();
    // The groups of `text` whose user-agent is `token` (compared ignoring ASCII case),
    // merged; without one, the groups of "*"; without those, nothing is disallowed. Of the
    // text only its first kMaxRobotsBytes bytes are read. A group starts with one or more
    // "user-agent" lines; "allow" and "disallow" lines add rules to it; "#" starts a
    // comment; other lines are passed over.
    static RobotsRules Parse(std::string_view text, std::string_view token);

    // Whether `path` (the path and query of an address, beginning with "/") may be
    // fetched: the rule whose pattern matches with the most bytes decides, an allow
    // before a disallow of the same length; no match allows. A pattern matches from the
    // path's start; "*" stands for any run of bytes, a "$" at its end for the path's end.
    // "/robots.txt" is always allowed.
    bool Allows(std::string_view path) const;

private:
    struct Rule {
        std::string pattern;
        bool allow;
    };
    std::vector<Rule> rules_;
};

inline constexpr std::size_t kMaxRobotsBytes = 500 * 1024;

// The robots.txt of the site of `address` ("http://host:port/robots.txt"); "" for an
// address that is not http or https.
std::string RobotsAddressOf(std::string_view address);
// The part of `address` that robots.txt rules match: its path and query ("/" when empty).
std::string RobotsPathOf(std::string_view address);

}  // namespace nuv
