// A vector of counts as the numeric core reads it: its histogram, kept
// alive with the counts it was built from.
#pragma once

#include "numcore/histogram.h"

#include <vector>

struct Hist {
    explicit Hist(const std::vector<int>& x)
    {
        one_based.assign(1, 0);
        one_based.insert(one_based.end(), x.begin(), x.end());
        h.build(static_cast<int>(x.size()), one_based.data());
    }
    CountView view() const { return h.view(); }
    std::vector<int> one_based;
    CountHistogram h;
};
