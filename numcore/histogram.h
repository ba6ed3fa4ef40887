// Histograms of count vectors, the form in which every fit and statistic of
// the pipeline sums over its data: one cell per count value, so their cost
// grows with the largest count, not with the number of positions.
#pragma once

#include "arrays.h"

// The largest of x[1..n], and 0 when there is none above 0.
int max_count(int n, const int* x);

// h[v + 1] = number of positions i in 1..n with x[i] = v, for v = 0..M, where
// M is at least every count (M + 1 cells, cell v + 1 for the value v).
IntVector count_histogram(int n, const int* x, int M);

// A count vector as the fits and statistics use it: its length, its largest
// count and its histogram (h[v + 1] positions with the count v, v = 0..max).
// A permutation test builds the histograms of its re-split halves once and
// hands the same view to every fit and statistic.
struct CountView {
    int n;
    int max;
    const int* h;
};
