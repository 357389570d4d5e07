#pragma once

#include <optional>

namespace nuv {

// What the page that is being scrolled shows at one moment.
struct ScrollSight {
    long long height = 0;    // the scrolled element's content height
    long long pictures = 0;  // the pictures the page has recorded so far
    long long requests = 0;  // the requests the page has made so far
    bool atEnd = false;      // the view shows the end of the content

    bool operator==(const ScrollSight&) const = default;
};

// How a scrolling ended.
struct ScrollOutcome {
    int screens = 0;
    long long ms = 0;
    bool hitLimit = false;  // ended at the limit, with what the page had shown by then
    bool stopped = false;   // stopped before its end (Stop)
};

// The times of a scrolling: the quiet of the page's network before the first screen, the
// quiet after new content before the next screen, how long nothing new may appear before
// the scrolling ends, and its limit, each in milliseconds.
struct ScrollTimes {
    long long quietMs = 500;
    long long settleMs = 300;
    long long stillMs = 1500;
    long long limitMs = 30000;
    // The first screen comes after this at the latest, however busy the network stays.
    long long firstAtMostMs = 5000;
};

enum class ScrollStep { Wait, Scroll, Done };

// The rule of scrolling a page to the end of what it loads: once its network has been
// quiet for a moment, a screen down at a time; where a screen brings something new
// (content grows, pictures appear), the next one waits until that has settled; the end is
// when the view shows the end and nothing new has appeared for `stillMs`, or at the limit.
// Plain logic: the caller tells the time and what the page shows, and does what it says.
class ScrollPlan {
public:
    explicit ScrollPlan(ScrollTimes times = {}) : times_(times) {}

    // What to do at `nowMs` (since the start) with the page as `sight` shows it.
    ScrollStep Next(long long nowMs, const ScrollSight& sight);

    // The screens scrolled so far.
    int Screens() const { return screens_; }
    // Whether the scrolling ended at the limit rather than at the end of the page.
    bool HitLimit() const { return hitLimit_; }
    bool Ended() const { return done_; }

private:
    ScrollStep Scroll(long long nowMs);

    ScrollTimes times_;
    std::optional<ScrollSight> last_;
    long long changedMs_ = 0;   // when anything last changed, requests included
    long long newMs_ = 0;       // when content or pictures last changed
    long long scrolledMs_ = 0;  // when the last screen was scrolled
    bool newSinceScroll_ = false;
    int screens_ = 0;
    bool hitLimit_ = false;
    bool done_ = false;
};

}  // namespace nuv
