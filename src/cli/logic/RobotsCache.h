#pragma once

#include <functional>
#include <string>
#include <unordered_map>

#include "web/Robots.h"

// The robots.txt rules of the sites a run over a list visits. Plain C++.
namespace nuv {

// The product token nuv-extract looks for in robots.txt.
inline constexpr std::string_view kRobotsToken = "nuv-extract";
// Why a page of a list is not opened when its site's robots.txt keeps crawlers off it.
inline constexpr std::string_view kRobotsRefusal = "refused: robots.txt disallows it (--no-robots ignores that)";

// What asking for a robots.txt gave.
struct RobotsAnswer {
    enum class Kind {
        Found,        // its text
        Unavailable,  // an answer of 400 to 499, or a file too large to be one: no rules
        Unreachable,  // an answer of 500 and more, or none: everything disallowed
    };
    Kind kind = Kind::Unavailable;
    std::string text;
};

// Each site's robots.txt, asked for once, when the first page of the site comes.
class RobotsCache {
public:
    using Fetch = std::function<RobotsAnswer(const std::string& robotsAddress)>;
    explicit RobotsCache(Fetch fetch) : fetch_(std::move(fetch)) {}

    // Whether the page at `address` may be opened; an address that is not http or https
    // has no robots.txt and may.
    bool Allows(const std::string& address);

private:
    Fetch fetch_;
    std::unordered_map<std::string, RobotsRules> sites_;  // by robots.txt address
};

}  // namespace nuv
