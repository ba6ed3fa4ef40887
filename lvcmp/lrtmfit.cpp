#include "lrtmfit.h"

#include "gpsupport.h"
#include "histogram.h"

#include <cmath>
#include <cstdint>

namespace {

// (v - 1)·h[v] exactly: it overflows 32 bits for large counts.
inline double weight(int v, int h) { return static_cast<double>(static_cast<std::int64_t>(v - 1) * h); }

} // namespace

void lrtmfit(int nx, const int* x, int ny, const int* y, int& valid, double& statistic, double a, double theta_x,
             double theta_y, double lambda_x, double lambda_y)
{
    const int Mx = max_count(nx, x);
    const int My = max_count(ny, y);
    const IntVector hx = count_histogram(nx, x, Mx);
    const IntVector hy = count_histogram(ny, y, My);
    lrtmfit_counts({nx, Mx, hx.get()}, {ny, My, hy.get()}, valid, statistic, a, theta_x, theta_y, lambda_x, lambda_y);
}

void lrtmfit_counts(const CountView& xv, const CountView& yv, int& valid, double& statistic, double a, double theta_x,
                    double theta_y, double lambda_x, double lambda_y)
{
    valid = 0;
    const int nx = xv.n, ny = yv.n;
    const int Mx = xv.max, My = yv.max;
    const int* hx = xv.h;
    const int* hy = yv.h;
    const double N = static_cast<double>(static_cast<std::int64_t>(nx) + ny);

    double m = (nx * lambda_x + ny * lambda_y) / N;
    bool converged = false;
    for (int iteration = 1; iteration <= 10000; ++iteration) {
        double S = N / m - nx - ny * a;
        double D = -N / (m * m);
        bool failed = false;
        for (int v = 0; v <= Mx; ++v) {
            const double d = v * theta_x + m;
            if (d == 0) {
                failed = true;
                break;
            }
            S = S + weight(v, hx[v + 1]) / d;
            D = D - weight(v, hx[v + 1]) / (d * d);
        }
        for (int w = 0; w <= My; ++w) {
            const double d = w * theta_y + a * m;
            if (d == 0) {
                failed = true;
                break;
            }
            S = S + weight(w, hy[w + 1]) * a / d;
            D = D - weight(w, hy[w + 1]) * (a * a) / (d * d);
        }
        if (failed || D == 0) break;
        const double step = -S / D;
        const double scale = std::fabs(m) > 0.01 ? std::fabs(m) : 0.01;
        m = m + step;
        if (std::fabs(step) / scale <= 1e-6 && m > 0) {
            converged = true;
            break;
        }
    }
    const bool support = gp_supported(m, theta_x) & gp_supported(a * m, theta_y);
    if (!converged || !support) return;

    double l0 = N * std::log(m) - (nx + ny * a) * m + ny * std::log(a);
    double l1 = nx * std::log(lambda_x) + ny * std::log(lambda_y) - nx * lambda_x - ny * lambda_y;
    valid = 1;
    for (int v = 0; v <= Mx; ++v) {
        const double d0 = v * theta_x + m;
        if (d0 <= 0) {
            valid = 0;
            break;
        }
        l0 = l0 + static_cast<double>(static_cast<std::int64_t>(hx[v + 1]) * (v - 1)) * std::log(d0);
        const double d1 = v * theta_x + lambda_x;
        if (d1 <= 0) {
            valid = 0;
            break;
        }
        l1 = l1 + static_cast<double>(static_cast<std::int64_t>(hx[v + 1]) * (v - 1)) * std::log(d1);
    }
    for (int w = 0; w <= My; ++w) {
        const double d0 = w * theta_y + a * m;
        if (d0 <= 0) {
            valid = 0;
            break;
        }
        l0 = l0 + static_cast<double>(static_cast<std::int64_t>(hy[w + 1]) * (w - 1)) * std::log(d0);
        const double d1 = w * theta_y + lambda_y;
        if (d1 <= 0) {
            valid = 0;
            break;
        }
        l1 = l1 + static_cast<double>(static_cast<std::int64_t>(hy[w + 1]) * (w - 1)) * std::log(d1);
    }
    statistic = -2 * (l0 - l1);
}
