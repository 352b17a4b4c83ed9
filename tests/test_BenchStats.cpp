#include <gtest/gtest.h>

#include "tools/bench/Stats.h"

TEST(BenchStats, MedianOfOddEvenAndNoValues) {
    EXPECT_EQ(median({}), 0.0);
    EXPECT_EQ(median({7.0}), 7.0);
    EXPECT_EQ(median({9.0, 1.0, 5.0}), 5.0);
    EXPECT_EQ(median({4.0, 1.0, 3.0, 2.0}), 2.5);
}

TEST(BenchStats, NearestRankPercentile) {
    EXPECT_EQ(percentile({}, 95), 0.0);
    EXPECT_EQ(percentile({3.0}, 95), 3.0);
    // With fewer than 20 values p95 is the largest; with 20 it is the 19th.
    std::vector<double> values;
    for (int i = 20; i >= 1; --i) values.push_back(i);
    EXPECT_EQ(percentile({5.0, 1.0, 4.0, 2.0, 3.0}, 95), 5.0);
    EXPECT_EQ(percentile(values, 95), 19.0);
    EXPECT_EQ(percentile(values, 50), 10.0);
    EXPECT_EQ(percentile(values, 100), 20.0);
    EXPECT_EQ(percentile(values, 0.1), 1.0);
}
