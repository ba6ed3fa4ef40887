#include "numcore/gp_profile.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace gp_profile {

namespace {

constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();

// (v - 1)·h exactly in 64 bits before it becomes a double.
double weight(int v, int h) { return static_cast<double>(static_cast<std::int64_t>(v - 1) * h); }

// dℓ/dθ and d²ℓ/dθ² at a fixed mean; λ + θv moves by v - μ per unit of θ.
void theta_derivatives(const Vector& v, double mu, double theta, double& g, double& gg)
{
    const CountView& c = v.counts;
    const double lam = mu * (1 - theta);
    const double n1 = static_cast<double>(v.with_reads);
    const double rest = 1 - theta;
    g = -n1 / rest + c.n * mu - v.total;
    gg = -n1 / (rest * rest);
    for (int k = 0; k < c.distinct; ++k) {
        const int value = c.values[k];
        if (value < 2) continue;
        const double w = weight(value, c.counts[k]);
        const double slope = value - mu;
        const double d = lam + theta * value;
        g += w * slope / d;
        gg -= w * (slope / d) * (slope / d);
    }
}

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

ThetaFit best_theta(const Vector& v, double mu, double& hint)
{
    const Interval range = theta_interval(v, mu);
    double a = range.lo, b = range.hi;
    // Without reads the likelihood -n·μ(1-θ) rises up to the upper end.
    if (v.with_reads == 0) return {b, loglik(v, mu, b)};
    // Otherwise the derivative is negative at the upper end (-n₁/kEdge
    // outweighs the rest) and its one root, or the lower end when it is
    // negative throughout, is kept bracketed: Newton's step is taken while
    // it stays inside the bracket, the bracket halved otherwise. The search
    // starts from `hint`, the answer at a nearby mean.
    double theta = std::isfinite(hint) ? std::clamp(hint, a, b) : 0.0;
    if (!(theta > a && theta < b)) theta = a + (b - a) / 2;
    double g = 0, gg = 0;
    for (int iteration = 0; iteration < 200; ++iteration) {
        theta_derivatives(v, mu, theta, g, gg);
        if (g > 0)
            a = theta;
        else if (g < 0)
            b = theta;
        else
            break;
        double next = theta - g / gg;
        if (!(next > a && next < b)) next = a + (b - a) / 2;
        const bool small = std::fabs(next - theta) <= 1e-15 * (1 + std::fabs(theta));
        theta = next;
        if (small || b - a <= 1e-15 * (1 + std::fabs(theta))) break;
    }
    hint = theta;
    return {theta, loglik(v, mu, theta)};
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
    // The mode of the profile is the sample mean; the search around it
    // covers fits held at an end of the θ interval, whose mode moves off it.
    const double mean = v.mean();
    double hint = 0;
    const double u = maximise([&](double t) { return best_theta(v, std::exp(t), hint).loglik; }, std::log(mean) - 1.5,
                              std::log(mean) + 1.5, 7, 1e-10);
    const ThetaFit searched = best_theta(v, std::exp(u));
    const ThetaFit at_mean = best_theta(v, mean);
    if (at_mean.loglik >= searched.loglik) {
        result.mu = mean;
        result.theta = at_mean.theta;
        result.loglik = at_mean.loglik;
    } else {
        result.mu = std::exp(u);
        result.theta = searched.theta;
        result.loglik = searched.loglik;
    }
    result.ok = std::isfinite(result.loglik);
    return result;
}

Fitted fitted(const CountView& counts)
{
    Fitted f;
    f.vector = describe(counts);
    f.fit = fit(f.vector);
    return f;
}

MeanTest mean_test(const CountView& x, const CountView& y, double a) { return mean_test(fitted(x), fitted(y), a); }

MeanTest mean_test(const Fitted& x, const Fitted& y, double a)
{
    MeanTest result;
    const Vector &X = x.vector, &Y = y.vector;
    if (X.total == 0 || Y.total == 0 || !(a > 0) || !std::isfinite(a)) return result;
    const Fit &fx = x.fit, &fy = y.fit;
    if (!fx.ok || !fy.ok) return result;

    // The null's mean lies between the two conditions' own modes (x's mean
    // and y's mean over a), where one profile rises as the other falls.
    double hint_x = 0, hint_y = 0;
    auto null_loglik = [&](double u) {
        const double mu = std::exp(u);
        return best_theta(X, mu, hint_x).loglik + best_theta(Y, a * mu, hint_y).loglik;
    };
    const double m1 = std::log(X.mean()), m2 = std::log(Y.mean() / a);
    const double u = maximise(null_loglik, std::min(m1, m2) - 0.7, std::max(m1, m2) + 0.7, 17, 1e-11);
    const double mu = std::exp(u);
    const ThetaFit tx = best_theta(X, mu), ty = best_theta(Y, a * mu);
    const double l0 = tx.loglik + ty.loglik;
    const double l1 = fx.loglik + fy.loglik;
    if (!std::isfinite(l0) || !std::isfinite(l1)) return result;
    result.ok = true;
    result.statistic = std::max(0.0, 2 * (l1 - l0));
    result.mu = mu;
    result.theta_x = tx.theta;
    result.theta_y = ty.theta;
    return result;
}

namespace {

// max over μ of ℓ_exon(ρμ) + ℓ_rest(μ), the profiles of one condition's
// exon and rest for a share ρ; the modes are the rest's mean and the exon's
// over ρ, those that are positive (at least one is, for a valid test).
double condition_profile(const Vector& exon, const Vector& rest, double rho, double& hint_exon, double& hint_rest)
{
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (double mode : {rest.mean(), exon.mean() / rho}) {
        if (!(mode > 0)) continue;
        lo = std::min(lo, std::log(mode));
        hi = std::max(hi, std::log(mode));
    }
    auto profile = [&](double u) {
        const double mu = std::exp(u);
        return best_theta(exon, rho * mu, hint_exon).loglik + best_theta(rest, mu, hint_rest).loglik;
    };
    const double u = maximise(profile, lo - 0.7, hi + 0.7, 5, 1e-8);
    return profile(u);
}

} // namespace

RestTest rest_test(const CountView& exon_i, const CountView& rest_i, const CountView& exon_j, const CountView& rest_j)
{
    return rest_test(fitted(exon_i), fitted(rest_i), fitted(exon_j), fitted(rest_j));
}

RestTest rest_test(const Fitted& exon_i, const Fitted& rest_i, const Fitted& exon_j, const Fitted& rest_j)
{
    RestTest result;
    const Vector &Ei = exon_i.vector, &Ri = rest_i.vector, &Ej = exon_j.vector, &Rj = rest_j.vector;
    if (Ei.total + Ej.total == 0 || Ri.total + Rj.total == 0 || Ei.total + Ri.total == 0 || Ej.total + Rj.total == 0)
        return result;
    double l1 = 0;
    for (const Fitted* v : {&exon_i, &rest_i, &exon_j, &rest_j}) {
        if (!v->fit.ok) return result;
        l1 += v->fit.loglik;
    }

    // The null's share lies among the conditions' own shares; the pooled
    // share stands in when no condition has one (reads of the exon in one
    // condition only and of the rest in the other only).
    double lo = std::log((Ei.total + Ej.total) / Ei.counts.n / ((Ri.total + Rj.total) / Ri.counts.n)), hi = lo;
    for (const auto& [exon, rest] : {std::pair{&Ei, &Ri}, std::pair{&Ej, &Rj}}) {
        if (exon->total == 0 || rest->total == 0) continue;
        const double share = std::log(exon->mean() / rest->mean());
        lo = std::min(lo, share);
        hi = std::max(hi, share);
    }
    double hints[4] = {0, 0, 0, 0};
    auto null_loglik = [&](double t) {
        const double rho = std::exp(t);
        return condition_profile(Ei, Ri, rho, hints[0], hints[1]) + condition_profile(Ej, Rj, rho, hints[2], hints[3]);
    };
    const double t = maximise(null_loglik, lo - 0.7, hi + 0.7, 9, 1e-9);
    const double l0 = null_loglik(t);
    if (!std::isfinite(l0) || !std::isfinite(l1)) return result;
    result.ok = true;
    result.statistic = std::max(0.0, 2 * (l1 - l0));
    result.rho = std::exp(t);
    return result;
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
