#include "common/Progress.h"

#include <climits>

#include <gtest/gtest.h>

namespace nuv {
namespace {

using namespace std::chrono_literals;

TEST(Progress, ScaledIntoTheRangeOfTheBar) {
    EXPECT_EQ(ScaleProgress(5, 10).maximum, 10);
    EXPECT_EQ(ScaleProgress(5, 10).position, 5);
    EXPECT_EQ(ScaleProgress(500, 0).maximum, 0);  // size unknown
    EXPECT_EQ(ScaleProgress(12, 10).position, 10);
    const std::uint64_t big = 6ull * 1024 * 1024 * 1024;
    const ProgressBarValues half = ScaleProgress(big / 2, big);
    EXPECT_GT(half.maximum, INT_MAX / 2);
    EXPECT_NEAR(static_cast<double>(half.position) / half.maximum, 0.5, 1e-6);
    EXPECT_EQ(ScaleProgress(big, big).position, ScaleProgress(big, big).maximum);
}

TEST(Progress, AStepPastTheMaximumStartsOverFromTheMinimum) {
    EXPECT_EQ(StepPosition(0, 0, 200), 10);
    EXPECT_EQ(StepPosition(195, 0, 200), 5);
    EXPECT_EQ(StepPosition(200, 0, 200), 10);
    EXPECT_EQ(StepPosition(95, 10, 100), 15);
}

TEST(ProgressThrottle, AtMostOnceEvery50MsAndTheCompletingReport) {
    ProgressThrottle throttle;
    const auto t0 = std::chrono::steady_clock::time_point(1s);
    EXPECT_TRUE(throttle.Due(0, 1000, t0));
    EXPECT_FALSE(throttle.Due(10, 1000, t0 + 10ms));
    EXPECT_FALSE(throttle.Due(20, 1000, t0 + 49ms));
    EXPECT_TRUE(throttle.Due(30, 1000, t0 + 50ms));
    EXPECT_TRUE(throttle.Due(1000, 1000, t0 + 60ms));   // completes: shown at once
    EXPECT_FALSE(throttle.Due(1000, 1000, t0 + 70ms));  // and only once
    EXPECT_TRUE(throttle.Due(1000, 1000, t0 + 120ms));

    ProgressThrottle unknownSize;
    EXPECT_TRUE(unknownSize.Due(5, 0, t0));
    EXPECT_FALSE(unknownSize.Due(5000, 0, t0 + 1ms));
}

}  // namespace
}  // namespace nuv
