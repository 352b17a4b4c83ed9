#include <gtest/gtest.h>

#include <vector>

#include "app/Loop.h"

namespace {

class FrameRateTitle : public ::testing::Test {
protected:
    void SetUp() override { loop = LoopState{}; }
    void TearDown() override { loop = LoopState{}; }
};

}  // namespace

TEST_F(FrameRateTitle, FirstFrameShowsARateOfZero) {
    EXPECT_EQ(frameRateTitle(0.05), "Pelk FPS: 0.000000");
    EXPECT_EQ(loop.lastTitleTime, 0.05);
    EXPECT_EQ(loop.frameCount, 0);
    // Even a first frame long after start-up: lastTitleTime starts at 0.
    loop = LoopState{};
    EXPECT_EQ(frameRateTitle(7.5), "Pelk FPS: 0.000000");
}

TEST_F(FrameRateTitle, BelowThreeTenthsEveryFrameRewritesTheTitle) {
    ASSERT_TRUE(frameRateTitle(0.0625).has_value());
    loop.frameCount = 1;
    EXPECT_EQ(frameRateTitle(0.125), "Pelk FPS: 16.000000");
    loop.frameCount = 1;
    EXPECT_EQ(frameRateTitle(0.25), "Pelk FPS: 8.000000");
    EXPECT_EQ(loop.lastTitleTime, 0.25);
    EXPECT_EQ(loop.frameCount, 0);
    // Two frames at one clock value have no elapsed time: a rate of 0, never "inf" or "nan".
    loop.frameCount = 1;
    EXPECT_EQ(frameRateTitle(0.25), "Pelk FPS: 0.000000");
}

TEST_F(FrameRateTitle, AfterwardsTheTitleWaitsMoreThanThreeTenths) {
    loop.lastTitleTime = 1.0;
    loop.frameCount = 13;
    EXPECT_EQ(frameRateTitle(1.25), std::nullopt);
    EXPECT_EQ(frameRateTitle(1.3), std::nullopt);  // not strictly later than 1.0 + 0.3
    EXPECT_EQ(loop.lastTitleTime, 1.0);
    EXPECT_EQ(loop.frameCount, 13);
    EXPECT_EQ(frameRateTitle(1.5), "Pelk FPS: 26.000000");
    EXPECT_EQ(loop.lastTitleTime, 1.5);
    EXPECT_EQ(loop.frameCount, 0);
}

TEST_F(FrameRateTitle, HiddenRateShowsTheNameAndKeepsCountingForLater) {
    loop.lastTitleTime = 1.0;
    loop.frameCount = 7;
    loop.showFps = false;
    for (double t : {0.1, 2.0, 3.0}) {
        EXPECT_EQ(frameRateTitle(t), "Pelk");
        loop.frameCount += 11;  // frames are still presented and counted
    }
    EXPECT_EQ(loop.lastTitleTime, 1.0);
    EXPECT_EQ(loop.frameCount, 40);
    // Switched back on: the rate over every frame since the last rate title, 40 in 4 s.
    loop.showFps = true;
    EXPECT_EQ(frameRateTitle(5.0), "Pelk FPS: 10.000000");
}

TEST(TimelineSteps, FallOnMultiplesOfTheStepWhereverTheyStart) {
    loop = LoopState{};
    const double step = 1.0 / 30.0;
    std::vector<double> whole;
    advanceTimeline(0.0, 10.0, step, [&whole](double t) { whole.push_back(t); });
    // k x step for k = 1 to 299: 300 x step is 10 s, the tool's own frame.
    ASSERT_EQ(whole.size(), 299u);
    for (std::size_t k = 0; k < whole.size(); ++k) EXPECT_EQ(whole[k], (k + 1.0) * step) << k;
    EXPECT_EQ(loop.previousTime, whole.back());

    // In two goes around a rendered frame at 3 s: the same moments, less the one at 3 s.
    std::vector<double> split;
    advanceTimeline(0.0, 3.0, step, [&split](double t) { split.push_back(t); });
    advanceTimeline(3.0, 10.0, step, [&split](double t) { split.push_back(t); });
    std::vector<double> expected = whole;
    expected.erase(expected.begin() + 89);  // 90 x step
    EXPECT_EQ(split, expected);

    // Slow frames between two rendered frames at 43.1 and 45 s.
    std::vector<double> slow;
    advanceTimeline(0.0, 43.1, 1.9, [&slow](double t) { slow.push_back(t); });
    ASSERT_EQ(slow.size(), 22u);
    EXPECT_EQ(slow.back(), 22 * 1.9);
    loop = LoopState{};
}
