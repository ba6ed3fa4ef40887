// Each column's sequencing depth against the mean depth of the columns, by
// which the tables scale reads so that columns of different depths read
// alike.
#pragma once

#include <cstddef>
#include <vector>

class Depths {
public:
    // The Poisson totals of every column; empty for none (every depth 1).
    explicit Depths(const std::vector<double>& totals) : totals_(totals)
    {
        for (double t : totals) mean_total_ += t / static_cast<double>(totals.size());
    }
    // Column c's (from 1) total over the mean total, or 1 without totals.
    double operator()(int c) const
    {
        return c >= 1 && static_cast<std::size_t>(c) <= totals_.size() ? totals_[c - 1] / mean_total_ : 1.0;
    }

private:
    const std::vector<double>& totals_;
    double mean_total_ = 0;
};
