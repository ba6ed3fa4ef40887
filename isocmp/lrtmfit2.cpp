#include "isocmp/lrtmfit2.h"

#include "numcore/gpsupport.h"
#include "numcore/histogram.h"
#include "numcore/log_terms.h"
#include "numcore/newton.h"
#include "numcore/quotients.h"
#include "numcore/value_sums.h"

#include <algorithm>
#include <cmath>

namespace {

using value_sums::Span;

// An exon's sums of the share fit: for the values its iteration must visit
// (see value_sums.h), with w = (v - 1)·h and d = v·θ + ρ·Λ,
//     G  += w·ρ/d,      Gρ += w·Λ/d,      H  -= w·(ρ·ρ)/(d·d),
//     Hρ += w·v·θ/(d·d), Hρρ -= w·(Λ·Λ)/(d·d),
// the quotients of a block of values worked out first (see quotients.h), then
// the five chains of additions in order. False, with the sums left part-way,
// where some d is 0.
constexpr int kBlock = 256;

bool add_exon_sums(const CountView& c, Span every, double theta, double rho, double L, double& G, double& Gr,
                   double& H, double& Hr, double& Hrr)
{
    double w[kBlock], v[kBlock], d[kBlock], q1[kBlock], q2[kBlock], q3[kBlock], q4[kBlock], q5[kBlock];
    int k = 0;
    const auto add_block = [&] {
        quotients5(k, w, v, d, rho, L, theta, q1, q2, q3, q4, q5);
        for (int j = 0; j < k; ++j) {
            G = G + q1[j];
            Gr = Gr + q2[j];
            H = H - q3[j];
            Hr = Hr + q4[j];
            Hrr = Hrr - q5[j];
        }
        k = 0;
    };
    const auto put = [&](int j, int value, int h) {
        w[j] = value_sums::weight(value, h);
        v[j] = value;
        d[j] = value * theta + rho * L;
    };
    // Where every absent value may be skipped, no d is 0 (value_sums.h).
    if (every.empty()) {
        for (int i0 = 0; i0 < c.distinct; i0 += kBlock) {
            k = std::min(c.distinct - i0, kBlock);
            for (int j = 0; j < k; ++j) put(j, c.values[i0 + j], c.counts[i0 + j]);
            add_block();
        }
        return true;
    }
    const bool visited = value_sums::visit(c, 0, c.max, every, [&](int value, int h) {
        if (value * theta + rho * L == 0) return false;
        put(k, value, h);
        if (++k == kBlock) add_block();
        return true;
    });
    if (visited && k > 0) add_block();
    return visited;
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
    const bool converged = newton::converges([&] {
        // A not-a-number Λ1, Λ2 or ρ makes the determinant and so every later
        // step not a number: the fit could never converge.
        if (std::isnan(L1) || std::isnan(L2) || std::isnan(rho)) return newton::Step::kStuck;
        // The gradient (G1, G2, Gρ) of l0 in (Λ1, Λ2, ρ) and its Hessian.
        double G1 = N / L1 - ne * rho - ng;
        double G2 = N / L2 - ne * rho - ng;
        double Gr = 2 * ne / rho - (L1 + L2) * ne;
        double H11 = -N / (L1 * L1);
        double H22 = -N / (L2 * L2);
        double H1r = -ne;
        double H2r = -ne;
        double Hrr = -2 * ne / (rho * rho);

        // A value that no position holds adds w = +0 times finite factors
        // over d or d·d: ±0 to G1, G2, Gρ and H1ρ, H2ρ (which changes only a
        // -0), and +0 subtracted from H11, H22 and Hρρ (which changes
        // nothing). Such values are skipped where value_sums.h allows.
        using value_sums::is_negative_zero;
        const bool rho_finite = std::isfinite(rho) && std::isfinite(rho * rho);
        const auto exon_sums = [&](const CountView& c, double theta, double L, double& G, double& H, double& Hr) {
            const bool finite = rho_finite && std::isfinite(L) && std::isfinite(L * L) && std::isfinite(theta);
            const bool negative_zero = is_negative_zero(G) || is_negative_zero(Gr) || is_negative_zero(Hr);
            const Span every = value_sums::must_visit(c, theta, rho * L, finite, negative_zero);
            return add_exon_sums(c, every, theta, rho, L, G, Gr, H, Hr, Hrr);
        };
        if (!exon_sums(x1, theta_e1, L1, G1, H11, H1r) || !exon_sums(x2, theta_e2, L2, G2, H22, H2r))
            return newton::Step::kStuck;
        // Exon 2 before the genes: Gρ and Hρρ take exon 1's terms and then
        // exon 2's, G1 and H11 exon 1's and then gene 1's, G2 and H22 exon
        // 2's and then gene 2's, as in the order exon 1, gene 1, exon 2,
        // gene 2; and the two genes feed separate sums, which run side by
        // side where both may skip their absent values. A gene's terms are
        // an exon's with ρ = 1 and no Gρ, Hρ, Hρρ: w/d into G, w/(d·d) out
        // of H (w·1 is w).
        const Span every_y1 = value_sums::must_visit(y1, theta_g1, L1, true, is_negative_zero(G1));
        const Span every_y2 = value_sums::must_visit(y2, theta_g2, L2, true, is_negative_zero(G2));
        if (every_y1.empty() && every_y2.empty())
            add_quotient_sums_side_by_side(y1, theta_g1, L1, G1, H11, y2, theta_g2, L2, G2, H22);
        else if (!add_rate_sums(y1, every_y1, theta_g1, L1, 1.0, 1.0, G1, H11) ||
                 !add_rate_sums(y2, every_y2, theta_g2, L2, 1.0, 1.0, G2, H22))
            return newton::Step::kStuck;

        // The Hessian's mixed term H12 is 0: Λ1 and Λ2 meet only through ρ.
        const double det = H11 * H22 * Hrr - H11 * (H2r * H2r) - (H1r * H1r) * H22;
        if (det == 0) return newton::Step::kStuck;
        const double dL1 = (-G1 * (H22 * Hrr - H2r * H2r) - G2 * H1r * H2r + Gr * H1r * H22) / det;
        const double dL2 = (-G1 * H1r * H2r - G2 * (H11 * Hrr - H1r * H1r) + Gr * H11 * H2r) / det;
        const double dr = (G1 * H1r * H22 + G2 * H11 * H2r - Gr * H11 * H22) / det;
        const double r = std::max(std::max(newton::relative_step(dL1, L1), newton::relative_step(dL2, L2)),
                                  newton::relative_step(dr, rho));
        L1 = L1 + dL1;
        L2 = L2 + dL2;
        rho = rho + dr;
        const bool admissible = L1 > 0 && L2 > 0 && rho > 0;
        return r <= newton::kStepTolerance && admissible ? newton::Step::kConverged : newton::Step::kGoOn;
    });
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
