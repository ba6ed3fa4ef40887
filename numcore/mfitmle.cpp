#include "mfitmle.h"

#include "gpsupport.h"
#include "histogram.h"

#include <cmath>
#include <cstdint>

RunningMoments running_moments(int n, const int* x)
{
    double m = 0.0;
    double S = 0.0;
    int M = 0;
    for (int i = 1; i <= n; ++i) {
        const double xi = x[i];
        S = S + ((i - 1) * (xi - m)) * (xi - m) / i;
        m = ((i - 1) * m + xi) / i;
        if (x[i] > M) M = x[i];
    }
    return {m, S, M};
}

void running_moments2(int n, const int* x, const int* y, RunningMoments& mx, RunningMoments& my, int* hx, int* hy)
{
    double m1 = 0.0, m2 = 0.0;
    double S1 = 0.0, S2 = 0.0;
    int M1 = 0, M2 = 0;
    for (int i = 1; i <= n; ++i) {
        const double x1 = x[i], x2 = y[i];
        S1 = S1 + ((i - 1) * (x1 - m1)) * (x1 - m1) / i;
        S2 = S2 + ((i - 1) * (x2 - m2)) * (x2 - m2) / i;
        m1 = ((i - 1) * m1 + x1) / i;
        m2 = ((i - 1) * m2 + x2) / i;
        if (x[i] > M1) M1 = x[i];
        if (y[i] > M2) M2 = y[i];
        ++hx[x[i] + 1];
        ++hy[y[i] + 1];
    }
    mx = {m1, S1, M1};
    my = {m2, S2, M2};
}

void mfitmle(int n, const int* x, int& converged, double& lambda, double& theta, double& poisson_lambda)
{
    const RunningMoments moments = running_moments(n, x);
    const IntVector h = count_histogram(n, x, moments.max); // h[k + 1] counts the value k
    mfitmle_from_moments(n, moments, h.get(), converged, lambda, theta, poisson_lambda);
}

void mfitmle_from_moments(int n, const RunningMoments& moments, const int* h, int& converged, double& lambda,
                          double& theta, double& poisson_lambda)
{
    const double m = moments.mean;
    const int M = moments.max;
    const double s2 = moments.S / static_cast<double>(n - 1);

    if (s2 == 0 || M <= 1) {
        converged = 0;
        poisson_lambda = m;
        return;
    }

    // Moment estimate from mean = λ/(1-θ) and variance = λ/(1-θ)^3.
    double th = 1 - std::sqrt(m / s2);

    converged = 0;

    for (int iteration = 1; iteration <= 10000; ++iteration) {
        // A not-a-number θ stays one through every later step and can never
        // converge, so the remaining iterations would change nothing.
        if (std::isnan(th)) break;
        double H = 0.0;
        double D = 0.0;
        bool zero_denominator = false;
        for (int j = 2; j <= M; ++j) {
            const double d = (j - m) * th + m;
            if (d == 0) {
                zero_denominator = true;
                break;
            }
            // (j-1)·j·h[j] overflows 32 bits for large counts; it is exact in 64.
            const double w = static_cast<double>(static_cast<std::int64_t>(j - 1) * j * h[j + 1]);
            H = H + w / d;
            D = D + ((j - m) * w / d) / d;
        }
        if (zero_denominator) break;
        H = H - n * m;
        if (D == 0) break;
        const double delta = H / D;
        const double r = std::fabs(delta) / (std::fabs(th) > 0.01 ? std::fabs(th) : 0.01);
        th = th + delta;
        if (r <= 1e-6 && th < 1) {
            converged = 1;
            break;
        }
    }

    const double lam = (1 - th) * m;

    // A negative θ must leave an admissible truncated distribution; the check
    // can only take convergence away.
    if (!gp_supported(lam, th)) converged = 0;

    lambda = lam;
    theta = th;
    poisson_lambda = m;
}
