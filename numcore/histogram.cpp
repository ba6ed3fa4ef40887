#include "numcore/histogram.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

int max_count(int n, const int* x)
{
    int M = 0;
    for (int i = 1; i <= n; ++i)
        if (x[i] > M) M = x[i];
    return M;
}

IntVector count_histogram(int n, const int* x, int M)
{
    IntVector h(static_cast<std::int64_t>(M) + 1);
    for (int k = 1; k <= M + 1; ++k) h[k] = 0;
    for (int i = 1; i <= n; ++i) h[x[i] + 1] += 1;
    return h;
}

namespace {

// Grows v to at least n cells (contents undefined); never shrinks.
void grow(IntVector& v, std::int64_t n)
{
    if (v.size() < n) v = IntVector(std::max<std::int64_t>(n, 2 * v.size()));
}

} // namespace

void CountHistogram::reserve(int n)
{
    // One cell more than the positions, so that an empty vector has storage too.
    grow(values_, static_cast<std::int64_t>(n) + 1);
    grow(counts_, static_cast<std::int64_t>(n) + 1);
}

void CountHistogram::take_table(int n, int* table, int max)
{
    log_terms_.forget();
    reserve(n);
    n_ = n;
    max_ = max;
    int* values = values_.get() + 1;
    int* counts = counts_.get() + 1;
    int k = 0;
    for (int v = 0; v <= max; ++v) {
        const int c = table[v + 1];
        if (c == 0) continue;
        values[k] = v;
        counts[k] = c;
        ++k;
        table[v + 1] = 0;
    }
    distinct_ = k;
}

void CountHistogram::build(int n, const int* x, int max)
{
    log_terms_.forget();
    if (dense_table_pays(n, max)) {
        const std::int64_t cells = static_cast<std::int64_t>(max) + 1;
        if (table_.size() < cells) {
            table_ = IntVector(std::max<std::int64_t>(cells, 2 * table_.size()));
            std::fill(table_.get() + 1, table_.get() + 1 + table_.size(), 0);
        }
        int* table = table_.get();
        for (int i = 1; i <= n; ++i) ++table[x[i] + 1];
        take_table(n, table, max);
        return;
    }

    // Counts far above the length: sort them (least significant digit
    // first, 11 bits a pass, as many passes as the largest count needs) and
    // count the runs.
    reserve(n);
    grow(sorted_, static_cast<std::int64_t>(n) + 1);
    grow(buffer_, static_cast<std::int64_t>(n) + 1);
    int* from = sorted_.get() + 1;
    int* to = buffer_.get() + 1;
    std::memcpy(from, x + 1, static_cast<std::size_t>(n) * sizeof(int));
    constexpr int kBits = 11;
    constexpr int kBuckets = 1 << kBits;
    const int bits = std::bit_width(static_cast<unsigned>(max));
    for (int shift = 0; shift < bits; shift += kBits) {
        int start[kBuckets] = {};
        for (int i = 0; i < n; ++i) ++start[(static_cast<unsigned>(from[i]) >> shift) & (kBuckets - 1)];
        int sum = 0;
        for (int b = 0; b < kBuckets; ++b) {
            const int c = start[b];
            start[b] = sum;
            sum += c;
        }
        for (int i = 0; i < n; ++i) to[start[(static_cast<unsigned>(from[i]) >> shift) & (kBuckets - 1)]++] = from[i];
        std::swap(from, to);
    }
    n_ = n;
    max_ = max;
    int* values = values_.get() + 1;
    int* counts = counts_.get() + 1;
    int k = -1;
    for (int i = 0; i < n; ++i) {
        if (k < 0 || from[i] != values[k]) {
            ++k;
            values[k] = from[i];
            counts[k] = 0;
        }
        ++counts[k];
    }
    distinct_ = k + 1;
}

void CountHistogram::take_difference(int n, const CountView& whole, const CountView& part)
{
    log_terms_.forget();
    reserve(std::min(n, whole.distinct + 1));
    int* values = values_.get() + 1;
    int* counts = counts_.get() + 1;
    // The zeros' cell comes first; its count is known once the others are.
    std::int64_t with_reads = 0;
    int k = 1, j = 0;
    for (int i = 0; i < whole.distinct; ++i) {
        const int v = whole.values[i];
        if (v == 0) continue;
        while (j < part.distinct && part.values[j] < v) ++j;
        const int c = whole.counts[i] - (j < part.distinct && part.values[j] == v ? part.counts[j] : 0);
        if (c <= 0) continue;
        values[k] = v;
        counts[k] = c;
        with_reads += c;
        ++k;
    }
    const std::int64_t zeros = n - with_reads;
    int first = 1;
    if (zeros > 0) {
        first = 0;
        values[0] = 0;
        counts[0] = static_cast<int>(zeros);
    } else {
        for (int i = 1; i < k; ++i) {
            values[i - 1] = values[i];
            counts[i - 1] = counts[i];
        }
    }
    n_ = n;
    distinct_ = k - first;
    max_ = distinct_ > 0 ? values[distinct_ - 1] : 0;
}

const double* LogTermCache::terms(const CountView& c, double theta, double rate)
{
    const bool same = ready_ && std::memcmp(&theta, &theta_, sizeof theta) == 0 &&
                      std::memcmp(&rate, &rate_, sizeof rate) == 0 && terms_.size() >= c.distinct;
    if (same) return terms_.get() + 1;
    if (terms_.size() < c.distinct) terms_ = RealVector(std::max(c.distinct, 16));
    double* t = terms_.get() + 1;
    for (int i = 0; i < c.distinct; ++i) {
        const int v = c.values[i];
        const double d = v * theta + rate;
        if (!(d > 0)) break;
        t[i] = static_cast<double>(static_cast<std::int64_t>(c.counts[i]) * (v - 1)) * std::log(d);
    }
    ready_ = true;
    theta_ = theta;
    rate_ = rate;
    return t;
}
