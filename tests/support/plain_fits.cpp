// The fits and statistics in their plain form, every sum running over all
// count values 0..M of a dense histogram, one cell per value. The programs
// skip the values no position holds; these are the reference that the
// tests hold them to, bit for bit.
#include "tests/support/plain_fits.h"

#include "numcore/gpsupport.h"
#include "numcore/histogram.h"
#include "numcore/mfitmle.h"

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

void plain_mfitmle(int n, const int* x, int& converged, double& lambda, double& theta, double& poisson_lambda)
{
    const RunningMoments moments = running_moments(n, x);
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

    const IntVector histogram = count_histogram(n, x, M);
    const int* h = histogram.get();
    converged = 0;

    for (int iteration = 1; iteration <= 10000; ++iteration) {
        double H = 0.0;
        double D = 0.0;
        bool zero_denominator = false;
        for (int j = 2; j <= M; ++j) {
            const double d = (j - m) * th + m;
            if (d == 0) {
                zero_denominator = true;
                break;
            }
                const double w = static_cast<double>(static_cast<__int128>(static_cast<std::int64_t>(j - 1) * j) * h[j + 1]);
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
    // Nor may the support stop short of the largest count.
    if (th < 0 && lam + th * M <= 0) converged = 0;

    lambda = lam;
    theta = th;
    poisson_lambda = m;
}

void plain_lrtmfit(int nx_, const int* x, int ny_, const int* y, int& valid, double& statistic, double a,
                   double theta_x, double theta_y, double lambda_x, double lambda_y)
{
    valid = 0;
    const int nx = nx_, ny = ny_;
    const int Mx = max_count(nx, x), My = max_count(ny, y);
    const IntVector hxv = count_histogram(nx, x, Mx), hyv = count_histogram(ny, y, My);
    const int* hx = hxv.get();
    const int* hy = hyv.get();
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
    bool refused = false;
    refused |= !add_log_terms({Mx, hx, theta_x}, m, lambda_x, l0, l1);
    refused |= !add_log_terms({My, hy, theta_y}, a * m, lambda_y, l0, l1);
    valid = refused ? 0 : 1;
    statistic = -2 * (l0 - l1);
}

void plain_lrtmfit2(int n_e, int n_g, const int* x1v, const int* y1v, const int* x2v, const int* y2v,
                    double lambda_e1, double lambda_g1, double lambda_e2, double lambda_g2, double theta_e1,
                    double theta_g1, double theta_e2, double theta_g2, int& valid, double& T)
{
    valid = 0;
    const int M[4] = {max_count(n_e, x1v), max_count(n_g, y1v), max_count(n_e, x2v), max_count(n_g, y2v)};
    const IntVector h1 = count_histogram(n_e, x1v, M[0]), g1 = count_histogram(n_g, y1v, M[1]);
    const IntVector h2 = count_histogram(n_e, x2v, M[2]), g2 = count_histogram(n_g, y2v, M[3]);
    const Pair exon1{M[0], h1.get(), theta_e1};
    const Pair gene1{M[1], g1.get(), theta_g1};
    const Pair exon2{M[2], h2.get(), theta_e2};
    const Pair gene2{M[3], g2.get(), theta_g2};
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
        // One condition's terms: its exon's (through ρ) and its gene's, into
        // its own gradient and Hessian entries and the ones of ρ; false at a
        // zero denominator.
        auto add_condition = [&](const Pair& exon, const Pair& gene, double L, double& G, double& H, double& Hr) {
            for (int v = 0; v <= exon.M; ++v) {
                const double w = weight(v, exon.h[v + 1]);
                const double d = v * exon.theta + rho * L;
                if (d == 0) return false;
                G = G + w * rho / d;
                Gr = Gr + w * L / d;
                H = H - w * (rho * rho) / (d * d);
                Hr = Hr + w * v * exon.theta / (d * d);
                Hrr = Hrr - w * (L * L) / (d * d);
            }
            for (int v = 0; v <= gene.M; ++v) {
                const double w = weight(v, gene.h[v + 1]);
                const double d = v * gene.theta + L;
                if (d == 0) return false;
                G = G + w / d;
                H = H - w / (d * d);
            }
            return true;
        };
        const bool failed =
            !add_condition(exon1, gene1, L1, G1, H11, H1r) || !add_condition(exon2, gene2, L2, G2, H22, H2r);

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
