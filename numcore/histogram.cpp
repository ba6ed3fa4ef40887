#include "histogram.h"

#include <cstdint>

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
