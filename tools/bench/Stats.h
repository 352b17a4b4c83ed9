#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

// Order statistics of a set of timings, as the benchmark reports them.

// The middle value, or the mean of the two middle values; 0 for no values.
inline double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// The nearest-rank percentile (p in (0, 100]): the smallest value that at least p per cent of
// the values do not exceed; 0 for no values. With few values p95 is the largest one.
inline double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const double rank = std::ceil(p / 100.0 * static_cast<double>(values.size()));
    const std::size_t index = rank < 1.0 ? 0 : static_cast<std::size_t>(rank) - 1;
    return values[std::min(index, values.size() - 1)];
}
