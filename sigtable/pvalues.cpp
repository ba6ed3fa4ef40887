#include "sigtable/pvalues.h"

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/gamma.hpp>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/students_t.hpp>

#include <algorithm>
#include <cmath>
#include <exception>
#include <numeric>
#include <utility>

namespace {

// The upper tail at `statistic` of the distribution with these parameters,
// or not-a-number when Boost.Math cannot give it. Its default policy throws
// on an overflow, a domain error or a series that does not converge (a gamma
// null with a shape of a million and a scale of 1e100 overflows Gamma(shape)
// on the way to a tail of 1), and the table has a value for a p-value that
// cannot be computed already: NA. The errno policies would hand back a
// stand-in (infinity, the largest double) that only errno tells from a
// result, and the C library sets errno for harmless underflows inside the
// same call too; the exception says that this one value failed.
template <class Distribution, class... Parameters>
double upper_tail(double statistic, Parameters... parameters) noexcept
{
    try {
        const Distribution distribution(parameters...);
        const double p = boost::math::cdf(boost::math::complement(distribution, statistic));
        return p >= 0 && p <= 1 ? p : NAN;
    } catch (const std::exception&) {
        return NAN;
    }
}

} // namespace

double chi_square_upper(double statistic)
{
    if (std::isnan(statistic)) return NAN;
    if (statistic <= 0) return 1.0;
    if (std::isinf(statistic)) return 0.0;
    return upper_tail<boost::math::chi_squared_distribution<double>>(statistic, 1.0);
}

double gamma_upper(double statistic, double shape, double scale)
{
    if (std::isnan(statistic) || !(shape > 0) || !(scale > 0) || std::isinf(shape) || std::isinf(scale)) return NAN;
    if (statistic <= 0) return 1.0;
    if (std::isinf(statistic)) return 0.0;
    return upper_tail<boost::math::gamma_distribution<double>>(statistic, shape, scale);
}

double log_gamma_upper(double statistic, double shape, double scale)
{
    if (std::isnan(statistic) || !(shape > 0) || !(scale > 0) || std::isinf(shape) || std::isinf(scale)) return NAN;
    if (std::isinf(statistic)) return -INFINITY;
    const double x = statistic / scale;
    if (!(x > shape + 1)) return std::log(gamma_upper(statistic, shape, scale));
    // Q(a, x) = e^-x x^a / Gamma(a) * 1 / (x + 1 - a - 1(1 - a) / (x + 3 - a - 2(2 - a) / (x + 5 - a - ...))),
    // evaluated from the front by the modified Lentz method.
    constexpr double kTiny = 1e-300;
    double b = x + 1 - shape, c = 1 / kTiny, d = 1 / b, h = d;
    for (int i = 1; i <= 100000; ++i) {
        const double an = -i * (i - shape);
        b += 2;
        d = an * d + b;
        if (std::abs(d) < kTiny) d = kTiny;
        c = b + an / c;
        if (std::abs(c) < kTiny) c = kTiny;
        d = 1 / d;
        const double step = d * c;
        h *= step;
        if (std::abs(step - 1) < 1e-15) return -x + shape * std::log(x) - std::lgamma(shape) + std::log(h);
    }
    return NAN;
}

double student_t_two_sided(double t, double df)
{
    if (std::isnan(t) || !(df > 0)) return NAN;
    if (std::isinf(t)) return 0.0;
    const double tail = std::isinf(df) ? upper_tail<boost::math::normal_distribution<double>>(std::abs(t), 0.0, 1.0)
                                       : upper_tail<boost::math::students_t_distribution<double>>(std::abs(t), df);
    return std::min(1.0, 2 * tail);
}

std::vector<double> benjamini_hochberg(const std::vector<double>& p)
{
    // Ascending p-values, equal ones in the order given: sorted with their
    // positions, which break the ties as a stable sort would, the values
    // beside them rather than looked up at each comparison.
    std::vector<std::pair<double, std::size_t>> keyed;
    for (std::size_t k = 0; k < p.size(); ++k)
        if (!std::isnan(p[k])) keyed.emplace_back(p[k], k);
    std::sort(keyed.begin(), keyed.end(), [](const auto& x, const auto& y) {
        if (x.first < y.first) return true;
        if (y.first < x.first) return false;
        return x.second < y.second;
    });
    std::vector<std::size_t> order;
    order.reserve(keyed.size());
    for (const auto& entry : keyed) order.push_back(entry.second);
    std::vector<double> adjusted(p.size(), NAN);
    const double m = static_cast<double>(order.size());
    double running = 1.0;
    // From the largest p-value down: the smallest m·p(j)/j over j >= i.
    for (std::size_t r = order.size(); r > 0; --r) {
        const std::size_t k = order[r - 1];
        running = std::min(running, m * p[k] / static_cast<double>(r));
        adjusted[k] = running;
    }
    return adjusted;
}
