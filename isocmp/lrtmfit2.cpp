#include "lrtmfit2.h"

#include "gpsupport.h"
#include "histogram.h"
#include "log_terms.h"
#include "quotients.h"
#include "value_sums.h"

#include <cmath>
#include <cstdint>

namespace {

using value_sums::Span;

// (v - 1)·h[v], exact in 64 bits before it becomes a double.
inline double weight(int v, int h) { return static_cast<double>(static_cast<std::int64_t>(v - 1) * h); }

// The values of a vector's 0..M that an iteration's sums must visit although
// no position holds them (see value_sums.h): all of them, too, when a factor
// that multiplies h (`factors_finite`) is not finite or a sum that a zero
// could change starts at -0.
Span visit_every(const CountView& c, double theta, double rate, bool factors_finite, bool some_sum_negative_zero)
{
    if (!factors_finite || some_sum_negative_zero) return {0, c.max};
    return value_sums::must_visit(c, theta, rate);
}

// The sums of an exon pair over the values present, for a pair whose every
// absent value may be skipped: the quotients of a block of values first
// (see quotients.h), then the five chains of additions in order.
constexpr int kBlock = 256;

void exon_terms(const CountView& c, double theta, double rho, double L, double& G, double& Gr, double& H, double& Hr,
                double& Hrr)
{
    double w[kBlock], v[kBlock], d[kBlock], q1[kBlock], q2[kBlock], q3[kBlock], q4[kBlock], q5[kBlock];
    for (int i0 = 0; i0 < c.distinct; i0 += kBlock) {
        const int k = c.distinct - i0 < kBlock ? c.distinct - i0 : kBlock;
        for (int j = 0; j < k; ++j) {
            const int value = c.values[i0 + j];
            w[j] = weight(value, c.counts[i0 + j]);
            v[j] = value;
            d[j] = value * theta + rho * L;
        }
        quotients5(k, w, v, d, rho, L, theta, q1, q2, q3, q4, q5);
        for (int j = 0; j < k; ++j) {
            G = G + q1[j];
            Gr = Gr + q2[j];
            H = H - q3[j];
            Hr = Hr + q4[j];
            Hrr = Hrr - q5[j];
        }
    }
}

} // namespace

void lrtmfit2(int n_e, int n_g, const int* x1, const int* y1, const int* x2, const int* y2, double lambda_e1,
              double lambda_g1, double lambda_e2, double lambda_g2, double theta_e1, double theta_g1,
              double theta_e2, double theta_g2, int& valid, double& T)
{
    CountHistogram h1, g1, h2, g2;
    h1.build(n_e, x1);
    g1.build(n_g, y1);
    h2.build(n_e, x2);
    g2.build(n_g, y2);
    lrtmfit2_counts(h1.view(), g1.view(), h2.view(), g2.view(), lambda_e1, lambda_g1, lambda_e2, lambda_g2, theta_e1,
                    theta_g1, theta_e2, theta_g2, valid, T);
}

void lrtmfit2_counts(const CountView& x1, const CountView& y1, const CountView& x2, const CountView& y2,
                     double lambda_e1, double lambda_g1, double lambda_e2, double lambda_g2, double theta_e1,
                     double theta_g1, double theta_e2, double theta_g2, int& valid, double& T)
{
    valid = 0;
    const int n_e = x1.n, n_g = y1.n;
    const double ne = n_e;
    const double ng = n_g;
    const double N = ne + ng;

    double L1 = lambda_g1;
    double L2 = lambda_g2;
    double rho = (lambda_e1 / lambda_g1 + lambda_e2 / lambda_g2) / 2;
    bool converged = false;
    for (int iteration = 1; iteration <= 10000; ++iteration) {
        // A not-a-number Λ1, Λ2 or ρ makes the determinant and so every later
        // step not a number: the fit could never converge, and the remaining
        // iterations would change nothing the caller sees.
        if (std::isnan(L1) || std::isnan(L2) || std::isnan(rho)) break;
        double G1 = N / L1 - ne * rho - ng;
        double G2 = N / L2 - ne * rho - ng;
        double Gr = 2 * ne / rho - (L1 + L2) * ne;
        double H11 = -N / (L1 * L1);
        double H22 = -N / (L2 * L2);
        double H1r = -ne;
        double H2r = -ne;
        double Hrr = -2 * ne / (rho * rho);
        bool failed = false;

        // A value that no position holds adds w = +0 times finite factors
        // over d or d·d: ±0 to G1, G2, Gρ and H1ρ, H2ρ (which changes only a
        // -0), and +0 subtracted from H11, H22 and Hρρ (which changes
        // nothing). Such values are skipped where value_sums.h allows.
        const bool rho_finite = std::isfinite(rho) && std::isfinite(rho * rho);
        const bool exon_factors1 = rho_finite && std::isfinite(L1) && std::isfinite(L1 * L1) && std::isfinite(theta_e1);
        const bool exon_factors2 = rho_finite && std::isfinite(L2) && std::isfinite(L2 * L2) && std::isfinite(theta_e2);
        auto negative_zero = [](double a, double b, double c) {
            return value_sums::is_negative_zero(a) || value_sums::is_negative_zero(b) ||
                   value_sums::is_negative_zero(c);
        };
        // An exon pair's five sums (exon 1 into G1, H11, H1ρ; exon 2 into G2,
        // H22, H2ρ; both into Gρ and Hρρ) and a gene pair's two.
        auto exon_sums = [&](const CountView& c, Span every, double theta, double L, double& G, double& H,
                             double& Hr) {
            if (every.empty()) {
                exon_terms(c, theta, rho, L, G, Gr, H, Hr, Hrr);
                return;
            }
            value_sums::visit(c, 0, c.max, every, [&](int v, int h) {
                const double w = weight(v, h);
                const double d = v * theta + rho * L;
                if (d == 0) {
                    failed = true;
                    return false;
                }
                G = G + w * rho / d;
                Gr = Gr + w * L / d;
                H = H - w * (rho * rho) / (d * d);
                Hr = Hr + w * v * theta / (d * d);
                Hrr = Hrr - w * (L * L) / (d * d);
                return true;
            });
        };
        auto gene_sums = [&](const CountView& c, Span every, double theta, double L, double& G, double& H) {
            if (every.empty()) {
                add_quotient_sums(c, theta, L, 1.0, 1.0, G, H); // w·1 is w
                return;
            }
            value_sums::visit(c, 0, c.max, every, [&](int v, int h) {
                const double w = weight(v, h);
                const double d = v * theta + L;
                if (d == 0) {
                    failed = true;
                    return false;
                }
                G = G + w / d;
                H = H - w / (d * d);
                return true;
            });
        };
        const Span every_x1 = visit_every(x1, theta_e1, rho * L1, exon_factors1, negative_zero(G1, Gr, H1r));
        exon_sums(x1, every_x1, theta_e1, L1, G1, H11, H1r);
        const Span every_x2 = visit_every(x2, theta_e2, rho * L2, exon_factors2, negative_zero(G2, Gr, H2r));
        exon_sums(x2, every_x2, theta_e2, L2, G2, H22, H2r);
        // Exon 2 before the genes: Gρ and Hρρ take exon 1's terms and then
        // exon 2's, G1 and H11 exon 1's and then gene 1's, G2 and H22 exon
        // 2's and then gene 2's, as in the order exon 1, gene 1, exon 2,
        // gene 2; and the two genes feed separate sums, which run side by
        // side where both may skip their absent values.
        const Span every_y1 = visit_every(y1, theta_g1, L1, true, negative_zero(G1, 0.0, 0.0));
        const Span every_y2 = visit_every(y2, theta_g2, L2, true, negative_zero(G2, 0.0, 0.0));
        if (every_y1.empty() && every_y2.empty()) {
            add_quotient_sums_side_by_side(y1, theta_g1, L1, G1, H11, y2, theta_g2, L2, G2, H22);
        } else {
            gene_sums(y1, every_y1, theta_g1, L1, G1, H11);
            gene_sums(y2, every_y2, theta_g2, L2, G2, H22);
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
    refused |= !add_log_terms(x1, theta_e1, rate_e1, lambda_e1, l0, l1);
    refused |= !add_log_terms(y1, theta_g1, L1, lambda_g1, l0, l1);
    refused |= !add_log_terms(x2, theta_e2, rate_e2, lambda_e2, l0, l1);
    refused |= !add_log_terms(y2, theta_g2, L2, lambda_g2, l0, l1);
    valid = refused ? 0 : 1;
    T = -2 * (l0 - l1);
}
