#include "quotients.h"

#include "histogram.h"

#include <cstdint>

// The loops vectorise; processors with AVX2 take four-lane registers (AVX2
// brings no fused multiply-add by itself, so nothing can contract them).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define QUOTIENTS_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define QUOTIENTS_CLONES
#endif

QUOTIENTS_CLONES
void quotients2(int k, const double* w, const double* d, double f, double g, double* q1, double* q2)
{
    for (int j = 0; j < k; ++j) {
        q1[j] = w[j] * f / d[j];
        q2[j] = w[j] * g / (d[j] * d[j]);
    }
}

QUOTIENTS_CLONES
void quotients5(int k, const double* w, const double* v, const double* d, double rho, double L, double theta,
                double* q1, double* q2, double* q3, double* q4, double* q5)
{
    const double rho2 = rho * rho;
    const double L2 = L * L;
    for (int j = 0; j < k; ++j) {
        const double d2 = d[j] * d[j];
        q1[j] = w[j] * rho / d[j];
        q2[j] = w[j] * L / d[j];
        q3[j] = w[j] * rho2 / d2;
        q4[j] = w[j] * v[j] * theta / d2;
        q5[j] = w[j] * L2 / d2;
    }
}

QUOTIENTS_CLONES
void quotients_equation(int k, const double* w, const double* c, const double* d, double* q1, double* q2)
{
    for (int j = 0; j < k; ++j) {
        q1[j] = w[j] / d[j];
        q2[j] = (c[j] * w[j] / d[j]) / d[j];
    }
}

void add_quotient_sums(const CountView& c, double theta, double rate, double f, double g, double& S, double& D)
{
    constexpr int kBlock = 256;
    double w[kBlock], d[kBlock], q1[kBlock], q2[kBlock];
    for (int i0 = 0; i0 < c.distinct; i0 += kBlock) {
        const int k = c.distinct - i0 < kBlock ? c.distinct - i0 : kBlock;
        for (int j = 0; j < k; ++j) {
            const int v = c.values[i0 + j];
            w[j] = static_cast<double>(static_cast<std::int64_t>(v - 1) * c.counts[i0 + j]);
            d[j] = v * theta + rate;
        }
        quotients2(k, w, d, f, g, q1, q2);
        for (int j = 0; j < k; ++j) {
            S = S + q1[j];
            D = D - q2[j];
        }
    }
}
