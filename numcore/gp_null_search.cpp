// The further tests' nulls found by following the profiles' slopes.
//
// Each profile is unimodal in the logarithm of its mean, so between two
// modes one term of a null rises and the other falls, and a peak of the null
// is where their slopes cancel. A search walks from a first guess in the
// direction the slope points until the slope changes sign, then closes on
// the sign change by Newton's method kept inside that bracket. For the rest
// test each condition's best level for a share is such a peak, and the
// share's own profile, the sum of the two conditions' best levels, is
// unimodal in the share too (a level held between the condition's modes can
// only gain by moving towards them), so the share is found the same way from
// the slopes the envelope theorem gives.
//
// A profile is concave only near its mode: further out it flattens, more so
// the less dispersed the counts (for Poisson-like counts at depth 10^4 within
// 2% of the mean), and where θ starts or stops being held at an end of its
// interval it has a kink. A null is then a sum of peaks with convex
// shoulders and may have more than one. The peak found is kept when every
// profile is concave there and at each corner (one vector taking the whole
// difference between the conditions, the others at their modes): a profile
// is concave on one stretch about its mode, so the null is then concave
// between the modes. Otherwise the bracket is scanned, and as one term falls
// across it and the other rises, no point between two scanned ones passes
// the falling term's value at the left plus the rising term's at the right;
// every cell whose bound passes the best value found is searched, and the
// null is the highest peak found.
#include "numcore/gp_profile.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <utility>

namespace gp_profile {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// How far an unbounded side of a bracket reaches from its one finite mode,
// as the grids do.
constexpr double kReach = 0.7;

// The stopping tolerance in the logarithm of a mean or share.
constexpr double kTolerance = 1e-12;

// The Newton step after which the next would be below the tolerance, as
// the steps converge quadratically.
constexpr double kLastNewtonStep = 1e-7;

// The first step of a walk where the curvature gives no Newton step.
constexpr double kFirstStep = 1e-3;

// The points inside a bracket that a doubtful null is scanned at.
constexpr int kScan = 8;

struct SlopeSum {
    double d1 = 0;
    double d2 = 0; // not a number where unknown
};

// The peak of a function between lo and hi from its slope, which is positive
// at lo and negative at hi, starting at x: Newton's steps while they stay
// inside the bracket, halving it otherwise.
template <class F>
double close_in(const F& slope, double lo, double hi, double x, SlopeSum s)
{
    double previous_x = kNaN, previous_d1 = kNaN;
    for (int iteration = 0; iteration < 100; ++iteration) {
        double next = kNaN;
        if (s.d2 < 0)
            next = x - s.d1 / s.d2;
        else if (std::isfinite(previous_x) && previous_d1 != s.d1)
            next = x - s.d1 * (x - previous_x) / (s.d1 - previous_d1);
        if (!(next > lo && next < hi)) next = lo + (hi - lo) / 2;
        const double scale = kTolerance * (1 + std::fabs(x));
        if (std::fabs(next - x) <= scale || hi - lo <= scale) return next;
        previous_x = x;
        previous_d1 = s.d1;
        x = next;
        s = slope(x);
        if (s.d1 > 0)
            lo = x;
        else if (s.d1 < 0)
            hi = x;
        else
            return x; // zero, or not a number
    }
    return x;
}

// The nearest peak uphill from x within [lo, hi], where the slope is not
// negative at lo and not positive at hi: the walk doubles its step (or takes
// Newton's where the curvature is negative) until the slope changes sign.
template <class F>
double local_peak(const F& slope, double lo, double hi, double x)
{
    if (!(hi > lo)) return lo;
    x = std::clamp(x, lo, hi);
    SlopeSum s = slope(x);
    double step = kFirstStep;
    for (int iteration = 0; iteration < 200; ++iteration) {
        if (!(s.d1 != 0) || !std::isfinite(s.d1)) return x;
        const bool up = s.d1 > 0;
        if ((up && x >= hi) || (!up && x <= lo)) return x;
        double length = step;
        if (s.d2 < 0) {
            length = -s.d1 / s.d2 * (up ? 1 : -1);
            if (length <= kTolerance * (1 + std::fabs(x))) return std::clamp(x + (up ? length : -length), lo, hi);
        } else {
            step *= 2;
        }
        const double next = up ? std::min(x + length, hi) : std::max(x - length, lo);
        const SlopeSum t = slope(next);
        if (up ? !(t.d1 > 0) : !(t.d1 < 0)) {
            if (!(t.d1 != 0)) return next;
            // The sign changed between x and next: close in from the end
            // with the negative curvature, if either has one.
            const double a = up ? x : next, b = up ? next : x;
            return t.d2 < 0 ? close_in(slope, a, b, next, t) : close_in(slope, a, b, x, s);
        }
        x = next;
        s = t;
    }
    return x;
}

// The first guess between two modes: where the profiles' quadratic
// approximations at their modes, weighted by their curvatures, cancel.
double weighted(double a, double curvature_a, double b, double curvature_b)
{
    if (curvature_a > 0 && curvature_b > 0 && std::isfinite(curvature_a + curvature_b))
        return (a * curvature_a + b * curvature_b) / (curvature_a + curvature_b);
    return a + (b - a) / 2;
}

// The logarithm of a vector's mode; -infinity without reads (its profile
// falls towards 0 as its mean does).
double log_mode(const Fitted& f) { return f.vector.total > 0 ? std::log(f.fit.mu) : -kInfinity; }

// The bracket between two modes, one of which may be -infinity.
bool bracket(double m1, double m2, double& lo, double& hi)
{
    if (std::isfinite(m1) && std::isfinite(m2)) {
        lo = std::min(m1, m2);
        hi = std::max(m1, m2);
        return true;
    }
    const double finite = std::isfinite(m1) ? m1 : m2;
    if (!std::isfinite(finite)) return false;
    lo = finite - kReach;
    hi = finite;
    return true;
}

// A profile's curvature at a mean.
double curvature_at(const Fitted& f, double mu)
{
    Track track = f.track;
    const Slope s = profile_slope(f.vector, mu, track);
    return s.d2;
}

// A profile's value at a mean, with θ from the track. Where the track was
// within a Newton step's last size of the mean, θ's prediction from it is
// already within rounding of the answer (its error is quadratic in the
// distance), and no pass is needed to solve for it.
ThetaFit value_at(const Vector& v, double mu, Track& track)
{
    const double distance = std::log(mu) - track.log_mu;
    if (v.total > 0 && std::fabs(distance) <= kLastNewtonStep) {
        const Interval range = theta_interval(v, mu);
        const double theta = std::clamp(track.theta + track.dtheta * distance, range.lo, range.hi);
        return {theta, loglik(v, mu, theta)};
    }
    const Slope s = profile_slope(v, mu, track);
    return {s.theta, loglik(v, mu, s.theta)};
}

} // namespace

MeanTest mean_test(const CountView& x, const CountView& y, double a) { return mean_test(fitted(x), fitted(y), a); }

MeanTest mean_test(const Fitted& x, const Fitted& y, double a)
{
    MeanTest result;
    double l1 = 0;
    if (!mean_alternative(x, y, a, l1)) return result;
    const Vector &X = x.vector, &Y = y.vector;
    const Fit &fx = x.fit, &fy = y.fit;

    // The null's mean lies between x's mode and y's over a, where one
    // profile rises as the other falls.
    const double ux = std::log(fx.mu), uy = std::log(fy.mu / a);
    const double lo = std::min(ux, uy), hi = std::max(ux, uy);
    Track track_x = x.track, track_y = y.track;
    bool convex = false; // whether the search met a curvature that is not negative
    auto slope = [&](double u) {
        const double mu = std::exp(u);
        const Slope sx = profile_slope(X, mu, track_x), sy = profile_slope(Y, a * mu, track_y);
        convex = !(sx.d2 < 0) || !(sy.d2 < 0);
        return SlopeSum{sx.d1 + sy.d1, sx.d2 + sy.d2};
    };
    auto value = [&](double u, MeanTest& t) {
        const double mu = std::exp(u);
        const ThetaFit tx = value_at(X, mu, track_x), ty = value_at(Y, a * mu, track_y);
        t.mu = mu;
        t.theta_x = tx.theta;
        t.theta_y = ty.theta;
        return tx.loglik + ty.loglik;
    };
    double l0 = value(local_peak(slope, lo, hi, weighted(ux, x.curvature, uy, y.curvature)), result);
    // Where both profiles are concave at the peak and each is concave at the
    // corner where it takes the whole difference (the other at its mode),
    // the null is concave between the modes, as a profile is concave on one
    // stretch about its mode, and has no other peak. Otherwise the bracket
    // is scanned.
    bool doubtful = convex;
    for (const auto& [at, away, scale] : {std::tuple{ux, &y, a}, std::tuple{uy, &x, 1.0}})
        if (!doubtful && !(curvature_at(*away, scale * std::exp(at)) < 0)) doubtful = true;
    if (doubtful && hi > lo) {
        // The profile whose mode is lo falls across the bracket and the
        // other rises, so a cell between two scanned points holds nothing
        // above the falling one's value at its left plus the rising one's at
        // its right; each cell whose bound passes the best value found is
        // searched.
        track_x = x.track;
        track_y = y.track;
        const bool x_falls = ux <= uy;
        const double step = (hi - lo) / (kScan + 1);
        double falls[kScan + 2], rises[kScan + 2];
        for (int k = 0; k <= kScan + 1; ++k) {
            const double mu = std::exp(lo + k * step);
            const ThetaFit tx = value_at(X, mu, track_x), ty = value_at(Y, a * mu, track_y);
            falls[k] = x_falls ? tx.loglik : ty.loglik;
            rises[k] = x_falls ? ty.loglik : tx.loglik;
            if (tx.loglik + ty.loglik > l0) {
                l0 = tx.loglik + ty.loglik;
                result.mu = mu;
                result.theta_x = tx.theta;
                result.theta_y = ty.theta;
            }
        }
        for (int k = 0; k <= kScan; ++k) {
            if (!(falls[k] + rises[k + 1] > l0)) continue;
            MeanTest other;
            const double left = lo + k * step, right = k == kScan ? hi : left + step;
            const double l = value(local_peak(slope, left, right, left + step / 2), other);
            if (l > l0) {
                l0 = l;
                result = other;
            }
        }
    }
    if (!std::isfinite(l0)) return MeanTest{};
    result.ok = true;
    result.statistic = std::max(0.0, 2 * (l1 - l0));
    return result;
}

namespace {

// One condition of the rest test: its best level (the rest's log mean y)
// for a share's logarithm t, found from the slopes of the exon's profile at
// t + y and the rest's at y.
struct Condition {
    const Fitted& exon;
    const Fitted& rest;
    double mode_exon, mode_rest;
    Track track_exon, track_rest;
    double y = kNaN;         // the last best level
    double solved_t = kNaN;  // the share it was found for
    double dy_dt = 0;        // how it moves with the share
    double exon_slope = 0;   // the exon's P' there: the condition's slope in t
    double curvature = kNaN; // the condition's second derivative in t
    bool convex = false;     // whether a profile there is not concave

    Condition(const Fitted& e, const Fitted& r)
        : exon(e), rest(r), mode_exon(log_mode(e)), mode_rest(log_mode(r)), track_exon(e.track),
          track_rest(r.track)
    {
    }

    // Back to the fits, for a search from another start.
    void restart()
    {
        track_exon = exon.track;
        track_rest = rest.track;
        y = kNaN;
        solved_t = kNaN;
        convex = false;
    }

    // The share's logarithm at which the condition is at both modes.
    double own_share() const { return mode_exon - mode_rest; }

    // Its curvature in t at its own share: the exon's and the rest's in series.
    double own_curvature() const
    {
        const double a = exon.curvature, b = rest.curvature;
        return a > 0 && b > 0 ? a * b / (a + b) : kNaN;
    }

    // The best level for the share t, from the guess; without one, from
    // the last level moved along its rate, or from the modes.
    void solve(double t, double guess = kNaN)
    {
        double lo = 0, hi = 0;
        if (!bracket(mode_rest, mode_exon - t, lo, hi)) return;
        double d2_exon = kNaN, d2_rest = kNaN, d1_exon = 0, d1_rest = 0;
        const double rho = std::exp(t);
        auto slope = [&](double at) {
            const double mu = std::exp(at);
            const Slope se = profile_slope(exon.vector, rho * mu, track_exon);
            const Slope sr = profile_slope(rest.vector, mu, track_rest);
            convex = !(se.d2 < 0) || !(sr.d2 < 0);
            d1_exon = se.d1;
            d1_rest = sr.d1;
            d2_exon = se.d2;
            d2_rest = sr.d2;
            return SlopeSum{se.d1 + sr.d1, se.d2 + sr.d2};
        };
        if (!std::isfinite(guess))
            guess = std::isfinite(solved_t) ? y + dy_dt * (t - solved_t)
                                            : weighted(mode_rest, rest.curvature, mode_exon - t, exon.curvature);
        y = local_peak(slope, lo, hi, guess);
        solved_t = t;
        // The slopes of the last point the search met, within its tolerance
        // of y: there the exon's slope is the condition's slope in t.
        exon_slope = d1_exon;
        const double sum = d2_exon + d2_rest;
        dy_dt = sum < 0 ? -d2_exon / sum : 0;
        curvature = sum < 0 ? d2_exon * d2_rest / sum : kNaN;
        if (std::fabs(d1_exon + d1_rest) <= 1e-6 * (1 + std::fabs(d1_exon) + std::fabs(d1_rest))) return;
        // The slopes do not cancel: the level sits on a kink of one profile,
        // where θ starts or stops being held at an end. The other's slope,
        // the same on both sides of the kink, gives the condition's slope,
        // and the kinked one stays on its kink as the share moves.
        const double step = 1e-9 * (1 + std::fabs(y));
        slope(y - step);
        const double left_exon = d1_exon, left_rest = d1_rest;
        slope(y + step);
        const bool exon_kinked = std::fabs(d1_exon - left_exon) > std::fabs(d1_rest - left_rest);
        if (exon_kinked) {
            exon_slope = -d1_rest;
            dy_dt = -1;
            curvature = d2_rest;
        } else {
            dy_dt = 0;
            curvature = d2_exon;
        }
    }

    double loglik(double t)
    {
        const double mu = std::exp(y);
        return value_at(exon.vector, std::exp(t) * mu, track_exon).loglik + value_at(rest.vector, mu, track_rest).loglik;
    }
};

// The null's share searched from a first share and first levels, between
// the bracket's ends; its likelihood, and the share in `t`.
double search_share(Condition& ci, Condition& cj, double lo, double hi, double t0, double yi0, double yj0, double& t)
{
    bool first = true;
    auto slope = [&](double at) {
        ci.solve(at, first ? yi0 : kNaN);
        cj.solve(at, first ? yj0 : kNaN);
        first = false;
        return SlopeSum{ci.exon_slope + cj.exon_slope, ci.curvature + cj.curvature};
    };
    t = local_peak(slope, lo, hi, t0);
    ci.solve(t, first ? yi0 : kNaN);
    cj.solve(t, first ? yj0 : kNaN);
    return ci.loglik(t) + cj.loglik(t);
}

// The null by Newton's method on the share and both levels at once, from
// the quadratic approximations' meeting point: the common case, where every
// profile is concave all the way. False where a curvature is not negative,
// a step leaves the bracket or the steps do not settle, and the nested
// search runs instead. Every mode must be finite.
bool search_jointly(Condition& ci, Condition& cj, double lo, double hi, double& t)
{
    const double si = ci.own_share(), sj = cj.own_share();
    t = weighted(si, ci.own_curvature(), sj, cj.own_curvature());
    double yi = weighted(ci.mode_rest, ci.rest.curvature, ci.mode_exon - t, ci.exon.curvature);
    double yj = weighted(cj.mode_rest, cj.rest.curvature, cj.mode_exon - t, cj.exon.curvature);
    const double slack = 1e-9 * (1 + std::fabs(lo) + std::fabs(hi));
    for (int iteration = 0; iteration < 12; ++iteration) {
        const Slope ei = profile_slope(ci.exon.vector, std::exp(t + yi), ci.track_exon);
        const Slope ri = profile_slope(ci.rest.vector, std::exp(yi), ci.track_rest);
        const Slope ej = profile_slope(cj.exon.vector, std::exp(t + yj), cj.track_exon);
        const Slope rj = profile_slope(cj.rest.vector, std::exp(yj), cj.track_rest);
        const double a = ei.d2, b = ri.d2, c = ej.d2, d = rj.d2;
        if (!(a < 0 && b < 0 && c < 0 && d < 0)) return false;
        // The gradient in (t, yi, yj) and the Newton step, the levels
        // eliminated first: the share's curvature is the conditions' in t.
        const double gt = ei.d1 + ej.d1, gi = ei.d1 + ri.d1, gj = ej.d1 + rj.d1;
        const double bi = a + b, bj = c + d;
        const double dt = (-gt + a * gi / bi + c * gj / bj) / (a * b / bi + c * d / bj);
        const double dyi = (-gi - a * dt) / bi, dyj = (-gj - c * dt) / bj;
        if (!std::isfinite(dt + dyi + dyj)) return false;
        t += dt;
        yi += dyi;
        yj += dyj;
        if (!(t >= lo - slack && t <= hi + slack)) return false;
        const double size = kLastNewtonStep * (1 + std::fabs(t) + std::fabs(yi) + std::fabs(yj));
        if (std::fabs(dt) + std::fabs(dyi) + std::fabs(dyj) <= size) {
            ci.y = yi;
            cj.y = yj;
            ci.convex = cj.convex = false;
            return true;
        }
    }
    return false;
}

} // namespace

RestTest rest_test(const CountView& exon_i, const CountView& rest_i, const CountView& exon_j, const CountView& rest_j)
{
    return rest_test(fitted(exon_i), fitted(rest_i), fitted(exon_j), fitted(rest_j));
}

RestTest rest_test(const Fitted& exon_i, const Fitted& rest_i, const Fitted& exon_j, const Fitted& rest_j)
{
    RestTest result;
    double l1 = 0;
    if (!rest_alternative(exon_i, rest_i, exon_j, rest_j, l1)) return result;
    Condition ci(exon_i, rest_i), cj(exon_j, rest_j);
    const double si = ci.own_share(), sj = cj.own_share();
    // The share lies between the conditions' own; a condition without exon
    // reads wants it towards 0, one without rest reads towards infinity.
    // With reads of the exon in one condition only and of the rest in the
    // other only, the null is a limit the grids approach.
    double lo = 0, hi = 0;
    if (std::isfinite(si) && std::isfinite(sj)) {
        lo = std::min(si, sj);
        hi = std::max(si, sj);
    } else if (std::isfinite(si) || std::isfinite(sj)) {
        const double finite = std::isfinite(si) ? si : sj, other = std::isfinite(si) ? sj : si;
        lo = other < 0 ? finite - kReach : finite;
        hi = other < 0 ? finite : finite + kReach;
    } else {
        return rest_test_by_grid(exon_i, rest_i, exon_j, rest_j);
    }
    double t = kNaN, l0 = -kInfinity;
    const bool finite = std::isfinite(ci.mode_exon + ci.mode_rest + cj.mode_exon + cj.mode_rest);
    if (finite && search_jointly(ci, cj, lo, hi, t)) {
        l0 = ci.loglik(t) + cj.loglik(t);
    } else {
        ci.restart();
        cj.restart();
        l0 = search_share(ci, cj, lo, hi, weighted(si, ci.own_curvature(), sj, cj.own_curvature()), kNaN, kNaN, t);
    }
    result.rho = std::exp(t);
    // As in mean_test: a peak where every profile is concave, and each is
    // concave where it takes the whole difference between the conditions'
    // shares (the other three at their modes), is the null; otherwise the
    // bracket of shares is scanned and searched from its best point.
    bool doubtful = ci.convex || cj.convex;
    if (!doubtful && std::isfinite(si) && std::isfinite(sj)) {
        const double mei = ci.mode_exon, mri = ci.mode_rest, mej = cj.mode_exon, mrj = cj.mode_rest;
        const std::pair<const Fitted*, double> corners[4] = {
            {&exon_i, mri + sj}, {&rest_i, mei - sj}, {&exon_j, mrj + si}, {&rest_j, mej - si}};
        for (const auto& [away, log_mean] : corners)
            if (!doubtful && !(curvature_at(*away, std::exp(log_mean)) < 0)) doubtful = true;
    }
    if (doubtful && hi > lo) {
        // As in mean_test, each condition's best level falls on the side of
        // its own share away from it: the cells between scanned shares are
        // bounded, and searched where the bound passes the best value found.
        Condition di(exon_i, rest_i), dj(exon_j, rest_j);
        const bool i_falls = si <= sj;
        const double step = (hi - lo) / (kScan + 1);
        double falls[kScan + 2], rises[kScan + 2], yi[kScan + 2], yj[kScan + 2];
        for (int k = 0; k <= kScan + 1; ++k) {
            const double at = lo + k * step;
            di.solve(at);
            dj.solve(at);
            const double li = di.loglik(at), lj = dj.loglik(at);
            falls[k] = i_falls ? li : lj;
            rises[k] = i_falls ? lj : li;
            yi[k] = di.y;
            yj[k] = dj.y;
            if (li + lj > l0) {
                l0 = li + lj;
                result.rho = std::exp(at);
            }
        }
        for (int k = 0; k <= kScan; ++k) {
            if (!(falls[k] + rises[k + 1] > l0)) continue;
            Condition ei(exon_i, rest_i), ej(exon_j, rest_j);
            const double left = lo + k * step, right = k == kScan ? hi : left + step;
            double u = kNaN;
            const double l = search_share(ei, ej, left, right, left + step / 2, (yi[k] + yi[k + 1]) / 2,
                                          (yj[k] + yj[k + 1]) / 2, u);
            if (l > l0) {
                l0 = l;
                result.rho = std::exp(u);
            }
        }
    }
    if (!std::isfinite(l0)) {
        const RestTest grid = rest_test_by_grid(exon_i, rest_i, exon_j, rest_j);
        if (grid.ok) return grid;
        return RestTest{};
    }
    result.ok = true;
    result.statistic = std::max(0.0, 2 * (l1 - l0));
    return result;
}

} // namespace gp_profile
