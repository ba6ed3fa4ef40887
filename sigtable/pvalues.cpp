#include "pvalues.h"

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/gamma.hpp>

#include <algorithm>
#include <cmath>
#include <numeric>

double chi_square_upper(double statistic)
{
    if (std::isnan(statistic)) return NAN;
    if (statistic <= 0) return 1.0;
    if (std::isinf(statistic)) return 0.0;
    return boost::math::cdf(boost::math::complement(boost::math::chi_squared_distribution<double>(1.0), statistic));
}

double gamma_upper(double statistic, double shape, double scale)
{
    if (std::isnan(statistic) || !(shape > 0) || !(scale > 0) || std::isinf(shape) || std::isinf(scale)) return NAN;
    if (statistic <= 0) return 1.0;
    if (std::isinf(statistic)) return 0.0;
    return boost::math::cdf(boost::math::complement(boost::math::gamma_distribution<double>(shape, scale), statistic));
}

std::vector<double> benjamini_hochberg(const std::vector<double>& p)
{
    std::vector<std::size_t> order;
    for (std::size_t k = 0; k < p.size(); ++k)
        if (!std::isnan(p[k])) order.push_back(k);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return p[a] < p[b]; });
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
