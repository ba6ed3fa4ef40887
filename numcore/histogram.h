// Histograms of count vectors, the form in which every fit and statistic of
// the pipeline sums over its data.
//
// The sums of the fits run over count values 0..M, M the largest count, but
// a value that no position holds contributes nothing to them (see
// value_sums.h for when exactly that is so). A histogram therefore keeps only
// the values present, in ascending order, so that the sums cost time in the
// number of distinct values (at most the number of positions) and not in the
// size of the counts: real data holds 10^4 to 10^6 reads at a position.
#pragma once

#include "numcore/arrays.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The largest of x[1..n], and 0 when there is none above 0.
int max_count(int n, const int* x);

// h[v + 1] = number of positions i in 1..n with x[i] = v, for v = 0..M, where
// M is at least every count (M + 1 cells, cell v + 1 for the value v). The
// dense form, sized by the largest count: kept for small tables and as the
// plain reference of the sparse one.
IntVector count_histogram(int n, const int* x, int M);

struct LogTermCache;

// A count vector as the fits and statistics use it: its length n, its
// largest count, and the `distinct` values that some position holds,
// values[0] < values[1] < ... (0-based), with counts[i] positions holding
// values[i]. The counts add up to n. A view into a CountHistogram.
struct CountView {
    int n = 0;
    int max = 0;
    int distinct = 0;
    const int* values = nullptr;
    const int* counts = nullptr;
    // Where the comparisons of a run meet the same vector with the same
    // estimates again, the terms of its log-likelihood under those estimates
    // are kept here (see LogTermCache); null elsewhere.
    LogTermCache* log_terms = nullptr;
};

// The terms h·(v - 1)·ln(v·θ + rate) of a vector's log-likelihood at its
// own estimates, one per value present while the argument is positive: the
// same for every comparison of the vector in a condition, so they are worked
// out once. Not thread-safe; one per histogram.
struct LogTermCache {
    // The terms for θ and rate (compared bit for bit), filled when first
    // asked for; entries where the argument is 0 or less are never read.
    const double* terms(const CountView& c, double theta, double rate);
    // The vector changed: nothing kept holds any more.
    void forget() { ready_ = false; }

private:
    bool ready_ = false;
    double theta_ = 0, rate_ = 0;
    RealVector terms_;
};

// Builds and holds the sparse histogram of one vector, reusing its storage
// from one vector to the next (a permutation test builds thousands). Its
// working memory is bounded by the vectors' lengths, whatever their counts.
class CountHistogram {
public:
    // From x[1..n], every count 0 or more, whose largest count is `max`.
    void build(int n, const int* x, int max);
    void build(int n, const int* x) { build(n, x, max_count(n, x)); }
    // From a dense table whose cells table[v + 1], v = 0..max, count the
    // positions of a vector of length n (as running_moments fills it); sets
    // those cells back to 0.
    void take_table(int n, int* table, int max);
    // The histogram of a vector of length n whose counts above 0 are those
    // of `whole` less those of `part` (which `whole` holds, each as often at
    // least), the rest of it zeros: what build gives for a vector made of a
    // longer one's positions outside a part of it, in the time of their
    // distinct values instead of their positions.
    void take_difference(int n, const CountView& whole, const CountView& part);
    CountView view() const { return {n_, max_, distinct_, values_.get() + 1, counts_.get() + 1, nullptr}; }
    // The same view with a cache of the vector's own log-likelihood terms,
    // for callers that compare it in several comparisons.
    CountView view_with_log_terms()
    {
        CountView v = view();
        v.log_terms = &log_terms_;
        return v;
    }

    // Whether a vector of length n whose counts are at most `bound` is
    // counted through a dense table of bound + 1 cells: only while that table
    // is small next to the vector itself.
    static bool dense_table_pays(std::int64_t n, std::int64_t bound) { return bound <= 2 * n + 256; }

private:
    void reserve(int n);
    int n_ = 0, max_ = 0, distinct_ = 0;
    IntVector values_, counts_; // 1-based storage, capacity values_.size()
    IntVector table_;           // dense counting table, all zero between calls
    IntVector sorted_, buffer_; // radix sort of the counts
    LogTermCache log_terms_;
};

// The histograms of a set of vectors, each built when first asked for and
// kept, with its log-likelihood terms, for the comparisons that share it
// (every pair of conditions meets a condition's vector again).
class HistogramSet {
public:
    explicit HistogramSet(std::size_t size) : histograms_(size), built_(size, false) {}
    // The histogram of vector `key`, x[1..n], built from x on the first call.
    CountView view(std::size_t key, int n, const int* x)
    {
        if (!built_[key]) histograms_[key].build(n, x);
        built_[key] = true;
        return histograms_[key].view_with_log_terms();
    }

private:
    std::vector<CountHistogram> histograms_;
    std::vector<bool> built_;
};
