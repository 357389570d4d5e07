#include <gtest/gtest.h>

#include <algorithm>

#include "web/ScrollPlan.h"

namespace nuv {
namespace {

// A page of items 100 px high in a 900 px view that adds `batch` items `delayMs` after
// its end comes into view, up to `most` (endless when 0), each with a picture; it makes
// a request for each batch. Polled every 100 ms as the program polls a page.
struct FeedPage {
    int items = 10, batch = 10, most = 120;
    long long delayMs = 250;
    long long y = 0;
    long long due = -1;  // when the next batch arrives, -1 for none on the way
    long long requests = 3;

    long long Height() const { return items * 100LL; }
    bool AtEnd() const { return y + 900 >= Height(); }
    ScrollSight Sight() const { return {Height(), items, requests, AtEnd()}; }
    void At(long long now) {
        if (due >= 0 && now >= due) {
            items += batch;
            ++requests;
            due = -1;
        }
        if (due < 0 && AtEnd() && (most == 0 || items < most)) due = now + delayMs;
    }
    void ScrollScreen() { y = std::min(y + 810, std::max(0LL, Height() - 900)); }
};

struct Scrolled {
    ScrollPlan plan;
    long long endedMs = 0;
};

Scrolled Drive(FeedPage& page, ScrollTimes times, long long stepMs = 100) {
    Scrolled run{ScrollPlan(times)};
    for (long long now = 0; now < 10 * times.limitMs; now += stepMs) {
        page.At(now);
        const ScrollStep step = run.plan.Next(now, page.Sight());
        if (step == ScrollStep::Done) {
            run.endedMs = now;
            break;
        }
        if (step == ScrollStep::Scroll) page.ScrollScreen();
    }
    return run;
}

TEST(ScrollPlan, ReachesTheEndOfWhatAFeedLoadsThenWaitsForNothingNew) {
    struct Case {
        int batch, most;
        long long delayMs, stepMs;
    };
    // A quick feed, a slow one (its batches come after a second), and a page polled late
    // (a busy machine answers every 400 ms).
    for (const Case c : {Case{10, 120, 250, 100}, Case{10, 120, 1000, 100}, Case{25, 260, 250, 400}}) {
        SCOPED_TRACE(c.delayMs);
        FeedPage page;
        page.batch = c.batch;
        page.most = c.most;
        page.delayMs = c.delayMs;
        const Scrolled run = Drive(page, {}, c.stepMs);
        EXPECT_EQ(page.items, c.most);
        EXPECT_TRUE(page.AtEnd());
        EXPECT_TRUE(run.plan.Ended());
        EXPECT_FALSE(run.plan.HitLimit());
        EXPECT_LT(run.endedMs, 30000);
    }
}

TEST(ScrollPlan, EndsAtTheLimitOnAnEndlessPageAndStopsAnswering) {
    FeedPage page;
    page.most = 0;
    ScrollTimes times;
    times.limitMs = 5000;
    const Scrolled run = Drive(page, times);
    EXPECT_TRUE(run.plan.HitLimit());
    EXPECT_EQ(run.endedMs, 5000);
    EXPECT_GT(page.items, 50);
    ScrollPlan plan = run.plan;
    EXPECT_EQ(plan.Next(6000, page.Sight()), ScrollStep::Done);
}

TEST(ScrollPlan, FirstScreenWaitsForTheNetworkToBeQuietButNotForever) {
    ScrollPlan plan;
    ScrollSight sight{2000, 0, 1, false};
    // Requests until 800 ms: the first screen comes 500 ms after the last.
    long long first = -1;
    for (long long now = 0; now <= 3000 && first < 0; now += 100) {
        if (now <= 800) sight.requests = 1 + now / 100;
        if (plan.Next(now, sight) == ScrollStep::Scroll) first = now;
    }
    EXPECT_EQ(first, 1300);
    // A network that never rests gets its first screen at the bound.
    ScrollPlan busy;
    first = -1;
    for (long long now = 0; now <= 8000 && first < 0; now += 100) {
        sight.requests = now;
        if (busy.Next(now, sight) == ScrollStep::Scroll) first = now;
    }
    EXPECT_EQ(first, ScrollTimes{}.firstAtMostMs);
}

TEST(ScrollPlan, AShortPageEndsOneStillTimeAfterItsOnlyScreen) {
    ScrollPlan plan;
    const ScrollSight sight{500, 2, 4, true};
    long long ended = -1;
    for (long long now = 0; now <= 5000 && ended < 0; now += 100) {
        if (plan.Next(now, sight) == ScrollStep::Done) ended = now;
    }
    EXPECT_EQ(plan.Screens(), 1);
    EXPECT_EQ(ended, 500 + 1500);
}

}  // namespace
}  // namespace nuv
