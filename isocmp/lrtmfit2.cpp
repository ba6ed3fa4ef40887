#include "lrtmfit2.h"

#include "gpsupport.h"
#include "histogram.h"

#include <cmath>
#include <cstdint>

namespace {

// One vector's part of the fit: its histogram, dispersion, and the two rates
// its likelihood terms use.
struct Pair {
    int M;
    const int* h;
    double theta;
};

// (v - 1)·h[v], exact in 64 bits before it becomes a double.
inline double weight(int v, int h) { return static_cast<double>(static_cast<std::int64_t>(v - 1) * h); }

// Adds h[v]·(v - 1)·ln(v·θ + rate) to `sum` over the histogram, and the
// same with `alt_rate` to `alt_sum`; false (and the rest of the pair
// skipped) at the first argument of 0 or less.
bool add_log_terms(const Pair& p, double rate, double alt_rate, double& sum, double& alt_sum)
{
    for (int v = 0; v <= p.M; ++v) {
        const double h_v1 = static_cast<double>(static_cast<std::int64_t>(p.h[v + 1]) * (v - 1));
        const double d0 = v * p.theta + rate;
        if (d0 <= 0) return false;
        sum = sum + h_v1 * std::log(d0);
        const double d1 = v * p.theta + alt_rate;
        if (d1 <= 0) return false;
        alt_sum = alt_sum + h_v1 * std::log(d1);
    }
    return true;
}

} // namespace

void lrtmfit2(int n_e, int n_g, const int* x1, const int* y1, const int* x2, const int* y2, double lambda_e1,
              double lambda_g1, double lambda_e2, double lambda_g2, double theta_e1, double theta_g1,
              double theta_e2, double theta_g2, int& valid, double& T)
{
    const int M[4] = {max_count(n_e, x1), max_count(n_g, y1), max_count(n_e, x2), max_count(n_g, y2)};
    const IntVector h1 = count_histogram(n_e, x1, M[0]), g1 = count_histogram(n_g, y1, M[1]);
    const IntVector h2 = count_histogram(n_e, x2, M[2]), g2 = count_histogram(n_g, y2, M[3]);
    lrtmfit2_counts({n_e, M[0], h1.get()}, {n_g, M[1], g1.get()}, {n_e, M[2], h2.get()}, {n_g, M[3], g2.get()},
                    lambda_e1, lambda_g1, lambda_e2, lambda_g2, theta_e1, theta_g1, theta_e2, theta_g2, valid, T);
}

void lrtmfit2_counts(const CountView& x1, const CountView& y1, const CountView& x2, const CountView& y2,
                     double lambda_e1, double lambda_g1, double lambda_e2, double lambda_g2, double theta_e1,
                     double theta_g1, double theta_e2, double theta_g2, int& valid, double& T)
{
    valid = 0;
    const int n_e = x1.n, n_g = y1.n;
    const Pair exon1{x1.max, x1.h, theta_e1};
    const Pair gene1{y1.max, y1.h, theta_g1};
    const Pair exon2{x2.max, x2.h, theta_e2};
    const Pair gene2{y2.max, y2.h, theta_g2};
    const double ne = n_e;
    const double ng = n_g;
    const double N = ne + ng;

    double L1 = lambda_g1;
    double L2 = lambda_g2;
    double rho = (lambda_e1 / lambda_g1 + lambda_e2 / lambda_g2) / 2;
    bool converged = false;
    for (int iteration = 1; iteration <= 10000; ++iteration) {
        double G1 = N / L1 - ne * rho - ng;
        double G2 = N / L2 - ne * rho - ng;
        double Gr = 2 * ne / rho - (L1 + L2) * ne;
        double H11 = -N / (L1 * L1);
        double H22 = -N / (L2 * L2);
        double H1r = -ne;
        double H2r = -ne;
        double Hrr = -2 * ne / (rho * rho);
        bool failed = false;

        for (int v = 0; v <= exon1.M; ++v) {
            const double w = weight(v, exon1.h[v + 1]);
            const double d = v * theta_e1 + rho * L1;
            if (d == 0) {
                failed = true;
                break;
            }
            G1 = G1 + w * rho / d;
            Gr = Gr + w * L1 / d;
            H11 = H11 - w * (rho * rho) / (d * d);
            H1r = H1r + w * v * theta_e1 / (d * d);
            Hrr = Hrr - w * (L1 * L1) / (d * d);
        }
        for (int v = 0; v <= gene1.M; ++v) {
            const double w = weight(v, gene1.h[v + 1]);
            const double d = v * theta_g1 + L1;
            if (d == 0) {
                failed = true;
                break;
            }
            G1 = G1 + w / d;
            H11 = H11 - w / (d * d);
        }
        for (int v = 0; v <= exon2.M; ++v) {
            const double w = weight(v, exon2.h[v + 1]);
            const double d = v * theta_e2 + rho * L2;
            if (d == 0) {
                failed = true;
                break;
            }
            G2 = G2 + w * rho / d;
            Gr = Gr + w * L2 / d;
            H22 = H22 - w * (rho * rho) / (d * d);
            H2r = H2r + w * v * theta_e2 / (d * d);
            Hrr = Hrr - w * (L2 * L2) / (d * d);
        }
        for (int v = 0; v <= gene2.M; ++v) {
            const double w = weight(v, gene2.h[v + 1]);
            const double d = v * theta_g2 + L2;
            if (d == 0) {
                failed = true;
                break;
            }
            G2 = G2 + w / d;
            H22 = H22 - w / (d * d);
        }

        // The Hessian's mixed term H12 is 0: Λ1 and Λ2 meet only through ρ.
        const double det = H11 * H22 * Hrr - H11 * (H2r * H2r) - (H1r * H1r) * H22;
        if (failed || det == 0) break;
        const double dL1 = (-G1 * (H22 * Hrr - H2r * H2r) - G2 * H1r * H2r + Gr * H1r * H22) / det;
        const double dL2 = (-G1 * H1r * H2r - G2 * (H11 * Hrr - H1r * H1r) + Gr * H11 * H2r) / det;
        const double dr = (G1 * H1r * H22 + G2 * H11 * H2r - Gr * H11 * H22) / det;

        auto relative = [](double step, double value) {
            return std::fabs(step) / (std::fabs(value) > 0.01 ? std::fabs(value) : 0.01);
        };
        double r = relative(dL1, L1);
        const double r2 = relative(dL2, L2);
        const double r3 = relative(dr, rho);
        if (r2 > r) r = r2;
        if (r3 > r) r = r3;
        L1 = L1 + dL1;
        L2 = L2 + dL2;
        rho = rho + dr;
        if (r <= 1e-6 && L1 > 0 && L2 > 0 && rho > 0) {
            converged = true;
            break;
        }
    }
    if (!converged) return;

    const double rate_e1 = rho * L1;
    const double rate_e2 = rho * L2;
    if (!gp_supported(rate_e1, theta_e1) || !gp_supported(L1, theta_g1) || !gp_supported(rate_e2, theta_e2) ||
        !gp_supported(L2, theta_g2))
        return;

    const double share = ne * rho + ng;
    double l0 = N * std::log(L1) - share * L1 + 2 * ne * std::log(rho) + N * std::log(L2) - share * L2;
    double l1 = ne * std::log(lambda_e1) + ng * std::log(lambda_g1) - ne * lambda_e1 - ng * lambda_g1 +
                ne * std::log(lambda_e2) + ng * std::log(lambda_g2) - ne * lambda_e2 - ng * lambda_g2;
    bool refused = false;
    refused |= !add_log_terms(exon1, rate_e1, lambda_e1, l0, l1);
    refused |= !add_log_terms(gene1, L1, lambda_g1, l0, l1);
    refused |= !add_log_terms(exon2, rate_e2, lambda_e2, l0, l1);
    refused |= !add_log_terms(gene2, L2, lambda_g2, l0, l1);
    valid = refused ? 0 : 1;
    T = -2 * (l0 - l1);
}
