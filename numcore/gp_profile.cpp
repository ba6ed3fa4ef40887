#include "numcore/gp_profile.h"

#include "numcore/quotients.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace gp_profile {

namespace {

constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();

// (v - 1)·h exactly in 64 bits before it becomes a double.
double weight(int v, int h) { return static_cast<double>(static_cast<std::int64_t>(v - 1) * h); }

// The profile of a sum over values of u = ln μ that may be -infinity or not
// a number: the search treats both as the worst value.
double finite_or_worst(double value) { return std::isnan(value) ? kMinusInfinity : value; }

} // namespace

Vector describe(const CountView& counts)
{
    Vector v;
    v.counts = counts;
    v.longest = std::max(counts.max, 4);
    for (int k = 0; k < counts.distinct; ++k) {
        if (counts.values[k] > 0) v.with_reads += counts.counts[k];
        v.total += static_cast<double>(static_cast<std::int64_t>(counts.values[k]) * counts.counts[k]);
        if (counts.values[k] >= 2) {
            v.values.push_back(counts.values[k]);
            v.weights.push_back(weight(counts.values[k], counts.counts[k]));
        }
    }
    return v;
}

Interval theta_interval(const Vector& v, double mu)
{
    // λ + θK = μ + θ(K - μ) > 0 bounds θ below only while K > μ.
    double lo = -1;
    if (v.longest > mu) lo = std::max(lo, -mu / (v.longest - mu));
    return {lo + kEdge, 1 - kEdge};
}

double loglik(const Vector& v, double mu, double theta)
{
    const CountView& c = v.counts;
    const double lam = mu * (1 - theta);
    if (!(lam > 0)) return kMinusInfinity;
    double l = -c.n * lam - theta * v.total;
    if (v.with_reads > 0) l += static_cast<double>(v.with_reads) * std::log(lam);
    for (int k = 0; k < c.distinct; ++k) {
        const int value = c.values[k];
        if (value < 2) continue;
        const double d = lam + theta * value;
        if (!(d > 0)) return kMinusInfinity;
        l += weight(value, c.counts[k]) * std::log(d);
    }
    return l;
}

namespace {

// One pass over the values >= 2 at (μ, θ).
ProfileSums pass_sums(const Vector& v, double mu, double theta)
{
    return profile_sums(static_cast<int>(v.values.size()), v.weights.data(), v.values.data(), mu * (1 - theta), theta, mu);
}

} // namespace

Slope profile_slope(const Vector& v, double mu, Track& track)
{
    Slope s;
    const CountView& c = v.counts;
    const double n1 = static_cast<double>(v.with_reads);
    const Interval range = theta_interval(v, mu);
    const double log_mu = std::log(mu);
    double a = range.lo, b = range.hi;
    double theta = b; // without reads θ stays at the upper end
    ProfileSums p;
    double l_t = 0, l_tt = 0, shift = 0;
    if (v.with_reads > 0) {
        // ℓ_θ is negative at the upper end (-n₁/kEdge outweighs the rest),
        // and its one root, or the lower end when it is negative
        // throughout, is kept bracketed: Newton's step is taken while it
        // stays inside the bracket, a step below the lower end tries the
        // end itself, and the bracket is halved otherwise. The search starts
        // where the track predicts θ, each pass giving the u-derivatives
        // too. A slope within rounding of its terms' size is the root (it
        // may sit on an end of the bracket, which Newton's steps would
        // leave); after a Newton step too small for another to move θ
        // beyond its rounding, θ and the derivatives are carried to the
        // step's end (the latter by ℓ_uθ).
        const double predicted = track.theta + track.dtheta * (log_mu - track.log_mu);
        theta = std::isfinite(predicted) ? std::clamp(predicted, a, b) : std::clamp(track.theta, a, b);
        if (!(theta > a && theta < b)) theta = a + (b - a) / 2;
        for (int iteration = 0; iteration < 200; ++iteration) {
            p = pass_sums(v, mu, theta);
            const double rest = 1 - theta;
            l_t = -n1 / rest + c.n * mu - v.total + p.slope_by_d;
            l_tt = -n1 / (rest * rest) - p.slope2_by_d2;
            const double size = n1 / rest + c.n * mu + v.total;
            if (std::fabs(l_t) <= 1e-14 * size) break;
            if (l_t > 0)
                a = theta;
            else
                b = theta;
            double next = theta - l_t / l_tt;
            if (next > a && next < b) {
                if (std::fabs(next - theta) <= 1e-8 * (1 + std::fabs(theta))) {
                    shift = next - theta;
                    break;
                }
            } else {
                next = next <= a && a == range.lo && theta != a ? a : a + (b - a) / 2;
                if (next == theta) break;
            }
            theta = next;
        }
    } else {
        p = pass_sums(v, mu, theta);
    }
    const double lam = mu * (1 - theta);
    const double l_u = n1 - c.n * lam + lam * p.by_d;
    const double l_uu = -c.n * lam + lam * theta * p.v_by_d2;
    const double l_ut = c.n * mu - mu * p.v_by_d2;
    s.theta = theta + shift;
    if (v.with_reads == 0) {
        s.d1 = l_u;
        s.d2 = l_uu;
        track = {log_mu, s.theta, 0};
        return s;
    }
    if (l_t < 0 && theta - range.lo <= 1e-12 * (1 + std::fabs(range.lo))) {
        // θ follows the lower end -μ/(K-μ) (+ kEdge) while μ < K/2, and -1
        // beyond: its first and second derivatives in u enter by the chain
        // rule.
        const double K = v.longest;
        const double gap = K - mu;
        const bool moving = 2 * mu < K;
        const double end_d1 = moving ? -mu * K / (gap * gap) : 0.0;
        const double end_d2 = moving ? -K * mu * (K + mu) / (gap * gap * gap) : 0.0;
        s.d1 = l_u + l_t * end_d1;
        s.d2 = l_uu + 2 * l_ut * end_d1 + l_tt * (end_d1 * end_d1) + l_t * end_d2;
        s.held = true;
        track = {log_mu, s.theta, end_d1};
        return s;
    }
    s.d1 = l_u + l_ut * shift;
    s.d2 = l_uu - l_ut * l_ut / l_tt;
    track = {log_mu, s.theta, -l_ut / l_tt};
    return s;
}

ThetaFit best_theta(const Vector& v, double mu, double& hint)
{
    Track track{std::log(mu), hint, 0};
    hint = profile_slope(v, mu, track).theta;
    return {hint, loglik(v, mu, hint)};
}

ThetaFit best_theta(const Vector& v, double mu)
{
    double hint = 0;
    return best_theta(v, mu, hint);
}

double maximise(double (*f)(double, const void*), const void* context, double lo, double hi, int points, double tol)
{
    auto value = [&](double u) { return finite_or_worst(f(u, context)); };
    points = std::max(points, 3);
    const double step = (hi - lo) / (points - 1);
    int best = 0;
    double best_value = kMinusInfinity;
    for (int k = 0; k < points; ++k) {
        const double fk = value(lo + k * step);
        if (fk > best_value || k == 0) {
            best = k;
            best_value = fk;
        }
    }
    // Brent's minimisation of -f between the best grid point's neighbours:
    // parabolic steps through the three best points while they behave,
    // golden-section steps otherwise.
    double a = lo + std::max(best - 1, 0) * step;
    double b = lo + std::min(best + 1, points - 1) * step;
    const double golden = 0.3819660112501051;
    double x = lo + best * step, w = x, v = x;
    double fx = -best_value, fw = fx, fv = fx;
    double d = 0, e = 0;
    for (int iteration = 0; iteration < 200; ++iteration) {
        const double middle = (a + b) / 2;
        const double tol1 = 1e-15 * std::fabs(x) + tol / 3;
        const double tol2 = 2 * tol1;
        if (std::fabs(x - middle) <= tol2 - (b - a) / 2) break;
        bool parabolic = false;
        if (std::fabs(e) > tol1) {
            double r = (x - w) * (fx - fv);
            double q = (x - v) * (fx - fw);
            double p = (x - v) * q - (x - w) * r;
            q = 2 * (q - r);
            if (q > 0)
                p = -p;
            else
                q = -q;
            const double previous = e;
            e = d;
            if (std::fabs(p) < std::fabs(0.5 * q * previous) && p > q * (a - x) && p < q * (b - x)) {
                d = p / q;
                const double u = x + d;
                if (u - a < tol2 || b - u < tol2) d = x < middle ? tol1 : -tol1;
                parabolic = true;
            }
        }
        if (!parabolic) {
            e = (x < middle ? b : a) - x;
            d = golden * e;
        }
        const double u = x + (std::fabs(d) >= tol1 ? d : (d > 0 ? tol1 : -tol1));
        const double fu = -value(u);
        if (fu <= fx) {
            if (u < x)
                b = x;
            else
                a = x;
            v = w;
            fv = fw;
            w = x;
            fw = fx;
            x = u;
            fx = fu;
        } else {
            if (u < x)
                a = u;
            else
                b = u;
            if (fu <= fw || w == x) {
                v = w;
                fv = fw;
                w = u;
                fw = fu;
            } else if (fu <= fv || v == x || v == w) {
                v = u;
                fv = fu;
            }
        }
    }
    return x;
}

Fit fit(const Vector& v)
{
    Fit result;
    if (v.counts.n <= 0) return result;
    result.ok = true;
    if (v.total == 0) return result; // supremum 0, as θ -> 1 at any mean
    // Where θ is inside its interval at the sample mean, (λ, θ) there is a
    // stationary point of a concave likelihood, so the fit itself.
    const double mean = v.mean();
    Track track;
    const Slope at = profile_slope(v, mean, track);
    const ThetaFit at_mean{at.theta, loglik(v, mean, at.theta)};
    result.mu = mean;
    result.theta = at_mean.theta;
    result.loglik = at_mean.loglik;
    // Held at an end of its interval, the mode moves off the mean: the
    // search around it.
    if (at.held) {
        double hint = 0;
        const double u = maximise([&](double t) { return best_theta(v, std::exp(t), hint).loglik; },
                                  std::log(mean) - 1.5, std::log(mean) + 1.5, 7, 1e-10);
        const ThetaFit searched = best_theta(v, std::exp(u));
        if (searched.loglik > at_mean.loglik) {
            result.mu = std::exp(u);
            result.theta = searched.theta;
            result.loglik = searched.loglik;
        }
    }
    result.ok = std::isfinite(result.loglik);
    return result;
}

Fitted fitted(const CountView& counts)
{
    Fitted f;
    f.vector = describe(counts);
    f.fit = fit(f.vector);
    f.curvature = std::numeric_limits<double>::quiet_NaN();
    if (f.fit.ok && f.vector.total > 0) {
        f.track = {std::log(f.fit.mu), f.fit.theta, 0};
        const Slope s = profile_slope(f.vector, f.fit.mu, f.track);
        f.curvature = -s.d2;
    } else {
        f.track = {0, f.fit.theta, 0};
    }
    return f;
}

bool mean_alternative(const Fitted& x, const Fitted& y, double a, double& l1)
{
    if (x.vector.total == 0 || y.vector.total == 0 || !(a > 0) || !std::isfinite(a)) return false;
    if (!x.fit.ok || !y.fit.ok) return false;
    l1 = x.fit.loglik + y.fit.loglik;
    return std::isfinite(l1);
}

bool rest_alternative(const Fitted& exon_i, const Fitted& rest_i, const Fitted& exon_j, const Fitted& rest_j,
                      double& l1)
{
    const double ei = exon_i.vector.total, ri = rest_i.vector.total, ej = exon_j.vector.total,
                 rj = rest_j.vector.total;
    if (ei + ej == 0 || ri + rj == 0 || ei + ri == 0 || ej + rj == 0) return false;
    l1 = 0;
    for (const Fitted* v : {&exon_i, &rest_i, &exon_j, &rest_j}) {
        if (!v->fit.ok) return false;
        l1 += v->fit.loglik;
    }
    return std::isfinite(l1);
}

double poisson_rest_statistic(std::int64_t exon_i, std::int64_t rest_i, std::int64_t exon_j, std::int64_t rest_j)
{
    const double cells[2][2] = {{static_cast<double>(exon_i), static_cast<double>(rest_i)},
                                {static_cast<double>(exon_j), static_cast<double>(rest_j)}};
    const double rows[2] = {cells[0][0] + cells[0][1], cells[1][0] + cells[1][1]};
    const double columns[2] = {cells[0][0] + cells[1][0], cells[0][1] + cells[1][1]};
    const double total = rows[0] + rows[1];
    if (rows[0] == 0 || rows[1] == 0 || columns[0] == 0 || columns[1] == 0) return 0;
    double g = 0;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c)
            if (cells[r][c] > 0) g += cells[r][c] * std::log(cells[r][c] * total / (rows[r] * columns[c]));
    return std::max(0.0, 2 * g);
}

} // namespace gp_profile
