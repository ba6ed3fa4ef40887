// The generalized Poisson model written with its mean, and its maximum
// likelihood found by profiles: the machinery of the tests whose null
// hypotheses constrain means (a level scaled by depth, an exon's share of
// its gene), where each vector keeps a dispersion of its own that must be
// re-estimated under the constraint.
//
// With μ = λ/(1-θ), i.e. λ = μ(1-θ), the log-likelihood of a count vector
// without its constant -Σ ln x! terms is
//
//   ℓ(μ, θ) = n₁·ln λ - n·λ - θ·S + Σ_{v>=2} h[v]·(v-1)·ln(λ + θv),
//
// n the positions, n₁ those with a count, S the sum of the counts, h[v] the
// positions holding v. It is a sum over the values present (a CountView), so
// its cost follows the distinct values, not the positions nor the depth.
//
// For a fixed μ, λ and every λ + θv are linear in θ, so ℓ is concave in θ:
// its maximum is the one root of a decreasing derivative, found by Newton's
// method kept inside a shrinking bracket. The admissible θ for a mean μ and
// a vector whose largest count is M are those with -1 < θ < 1 and
// λ + θ·K > 0, K = max(M, 4): every observed count has a positive
// probability, and a negative dispersion truncates the support at four
// values or more, the constraint every fit of the pipeline applies. The
// interval is kept a hair (kEdge) inside its ends; an all-zero vector, which
// any mean explains as θ approaches 1, takes its supremum there.
//
// Over μ the profile max_θ ℓ is unimodal (the likelihood is concave in
// (λ, θ) and the sets of equal μ are lines through one point), with its mode
// at the sample mean wherever θ is inside its interval there. Sums of such
// profiles, which the null hypotheses maximise, are searched from the
// profiles' slopes (gp_null_search.cpp); the searches by grids refined with
// Brent's method (gp_profile_grid.cpp) are their reference.
#pragma once

#include "numcore/histogram.h"

#include <cstdint>
#include <vector>

namespace gp_profile {

// How far inside the ends of its admissible interval θ is kept.
inline constexpr double kEdge = 1e-10;

// The sums of a vector the likelihood needs beyond its histogram.
struct Vector {
    CountView counts;
    std::int64_t with_reads = 0; // n₁
    double total = 0;            // S
    int longest = 0;             // K = max(M, 4)
    // The values >= 2 and their weights h[v]·(v-1), as doubles once for
    // the passes of the searches.
    std::vector<double> values, weights;
    double mean() const { return counts.n > 0 ? total / counts.n : 0; }
};
Vector describe(const CountView& counts);

// The admissible θ for the mean mu (> 0), kEdge inside both ends.
struct Interval {
    double lo = 0;
    double hi = 0;
};
Interval theta_interval(const Vector& v, double mu);

// ℓ(mu, theta); -infinity where a logarithm's argument is not positive.
double loglik(const Vector& v, double mu, double theta);

// The θ that maximises ℓ(mu, ·) over the admissible interval, and ℓ there.
struct ThetaFit {
    double theta = 0;
    double loglik = 0;
};
ThetaFit best_theta(const Vector& v, double mu);
// The same with the search started at `hint` (the θ of a nearby mean, which
// the searches over μ pass from one mean to the next), which then holds the
// answer: fewer steps, the same maximum.
ThetaFit best_theta(const Vector& v, double mu, double& hint);

// The maximiser of f over [lo, hi]: a grid of `points` values first, then
// Brent's method between the best grid point's neighbours, to an absolute
// tolerance `tol` in the argument. Deterministic.
double maximise(double (*f)(double, const void*), const void* context, double lo, double hi, int points, double tol);

// Lambda-friendly form of `maximise`.
template <class F>
double maximise(const F& f, double lo, double hi, int points, double tol)
{
    return maximise([](double u, const void* c) { return (*static_cast<const F*>(c))(u); }, &f, lo, hi, points, tol);
}

// The profile P(u) = max_θ ℓ(e^u, θ) at the mean mu = e^u, with its slopes
// in u, found from one pass over the values once θ is solved (the envelope
// theorem: P' is ℓ's partial derivative at the best θ, and P'' adds θ's own
// response, -ℓ_uθ²/ℓ_θθ). Where θ is held at the lower end of its interval
// the profile follows that end, which moves with μ: P' and P'' include the
// end's motion by the chain rule, and `held` is set (the profile kinks where
// θ starts or stops being held). A vector without reads keeps θ at the upper
// end, where P'' is ℓ_uu.
struct Slope {
    double theta = 0;
    double d1 = 0;
    double d2 = 0;
    bool held = false;
};
// Where a search last met a profile: θ there and its rate of change in u,
// from which θ at the next mean is predicted.
struct Track {
    double log_mu = 0;
    double theta = 0;
    double dtheta = 0;
};
Slope profile_slope(const Vector& v, double mu, Track& track);

// The unconstrained fit of one vector: the largest ℓ over μ and θ, with
// the μ and θ where it is reached. An all-zero vector has supremum 0 (μ
// and θ are then 0). Not ok for an empty vector.
struct Fit {
    bool ok = false;
    double mu = 0;
    double theta = 0;
    double loglik = 0;
};
Fit fit(const Vector& v);

// A vector with its unconstrained fit: a condition's vector serves every
// pair of conditions it is in, and its fit, which depends on it alone, is
// made once for all of them. With it, the profile's curvature -P'' at its
// mode (not a number without reads), which weighs the conditions' modes into
// the null searches' first guesses, and θ's track there, where they start.
struct Fitted {
    Vector vector;
    Fit fit;
    double curvature = 0;
    Track track;
};
Fitted fitted(const CountView& counts);

// The test of a level scaled by depth: H0 gives x the mean μ and y the mean
// a·μ, each with its own θ (three free parameters); H1 fits each alone.
// statistic = 2(ℓ₁ - ℓ₀), at least 0. Not ok when either vector has no
// reads, a is not a positive finite number, or a likelihood is not finite.
struct MeanTest {
    bool ok = false;
    double statistic = 0;
    double mu = 0;
    double theta_x = 0;
    double theta_y = 0;
};
MeanTest mean_test(const CountView& x, const CountView& y, double a);
// Whether the test is made (as above) and, where it is, H1's likelihood ℓ₁.
bool mean_alternative(const Fitted& x, const Fitted& y, double a, double& l1);
MeanTest mean_test(const Fitted& x, const Fitted& y, double a);
// The same null searched by a grid of means refined with Brent's method, as
// the tests were first written: the reference the search above is checked
// against.
MeanTest mean_test_by_grid(const Fitted& x, const Fitted& y, double a);

// The test of an exon's share against the rest of its gene in two
// conditions i and j: H0 gives exon_c the mean ρ·μ_c and rest_c the mean
// μ_c, every vector its own θ (ρ, μ_i, μ_j and four θ); H1 fits the four
// vectors alone. Not ok when the exons or the rests of both conditions
// together have no reads, when a condition has no reads in exon and rest,
// or when a likelihood is not finite.
struct RestTest {
    bool ok = false;
    double statistic = 0;
    double rho = 0;
};
RestTest rest_test(const CountView& exon_i, const CountView& rest_i, const CountView& exon_j, const CountView& rest_j);
// Whether the test is made (as above) and, where it is, H1's likelihood ℓ₁.
bool rest_alternative(const Fitted& exon_i, const Fitted& rest_i, const Fitted& exon_j, const Fitted& rest_j,
                      double& l1);
RestTest rest_test(const Fitted& exon_i, const Fitted& rest_i, const Fitted& exon_j, const Fitted& rest_j);
// The same by nested grids refined with Brent's method (see
// mean_test_by_grid); rest_test falls back on it where the exon has reads in
// one condition only and the rest in the other only.
RestTest rest_test_by_grid(const Fitted& exon_i, const Fitted& rest_i, const Fitted& exon_j, const Fitted& rest_j);

// The Poisson form of the same test: the likelihood-ratio (G) statistic of
// the 2x2 table of read sums (exon and rest in i and j). The lengths scale
// ρ only, so they do not enter. 0 when a margin of the table is 0.
double poisson_rest_statistic(std::int64_t exon_i, std::int64_t rest_i, std::int64_t exon_j, std::int64_t rest_j);

} // namespace gp_profile
