#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

namespace velkor {

// Count, mean and spread of a stream of values, one value at a time
// (Welford's method): the mean moves by each value's share of its distance
// to it, and the sum of squared distances from the mean grows by the
// product of the distances before and after the move. Nothing is summed
// that grows with the values' size, so a spread that is small beside the
// values themselves (a 5 V supply wandering by microvolts) keeps its digits,
// where the sum of squares minus the squared sum loses them all.
class RunningStats {
public:
    void add(double x) {
        ++count_;
        const double before = x - mean_;
        mean_ += before / static_cast<double>(count_);
        squares_ += before * (x - mean_);
    }

    std::int64_t count() const { return count_; }
    // The mean; 0 without values.
    double mean() const { return mean_; }
    // The sample standard deviation (n - 1 in the divisor, as spreadsheets'
    // STDEV); none for fewer than two values.
    std::optional<double> standardDeviation() const {
        if (count_ < 2) {
            return std::nullopt;
        }
        return std::sqrt(std::max(squares_, 0.0) / static_cast<double>(count_ - 1));
    }

private:
    std::int64_t count_ = 0;
    double mean_ = 0.0;
    double squares_ = 0.0; // sum of squared distances from the mean
};

} // namespace velkor
