#include "numcore/log_terms.h"

#include "numcore/value_sums.h"

#include <cmath>
#include <cstdint>

bool add_log_terms(const CountView& c, double theta, double rate, double alt_rate, double& sum, double& alt_sum)
{
    auto term = [&](int v, int h, bool alt) {
        const double h_v1 = static_cast<double>(static_cast<std::int64_t>(h) * (v - 1));
        const double d0 = v * theta + rate;
        if (d0 <= 0) return false;
        sum = sum + h_v1 * std::log(d0);
        if (!alt) return true;
        const double d1 = v * theta + alt_rate;
        if (d1 <= 0) return false;
        alt_sum = alt_sum + h_v1 * std::log(d1);
        return true;
    };
    const bool sparse = !value_sums::is_negative_zero(sum) && !value_sums::is_negative_zero(alt_sum) &&
                        std::isfinite(rate) && std::isfinite(alt_rate) && std::isfinite(c.max * theta + rate) &&
                        std::isfinite(c.max * theta + alt_rate);
    if (!sparse) return value_sums::visit(c, 0, c.max, {0, c.max}, [&](int v, int h) { return term(v, h, true); });
    const int a = value_sums::first_not_positive(0, c.max, [&](int v) { return v * theta + rate; });
    const int b = value_sums::first_not_positive(0, c.max, [&](int v) { return v * theta + alt_rate; });
    const int stop = a < b ? a : b;
    if (c.log_terms) {
        // The alternative's terms are the vector's own, kept between comparisons.
        const double* alt = c.log_terms->terms(c, theta, alt_rate);
        for (int i = 0; i < c.distinct && c.values[i] < stop; ++i) {
            const int v = c.values[i];
            const double h_v1 = static_cast<double>(static_cast<std::int64_t>(c.counts[i]) * (v - 1));
            sum = sum + h_v1 * std::log(v * theta + rate);
            alt_sum = alt_sum + alt[i];
        }
    } else {
        value_sums::visit(c, 0, stop - 1, {}, [&](int v, int h) { return term(v, h, true); });
    }
    if (stop > c.max) return true;
    // The first refused value: its first term still counts when only the
    // second argument is refused.
    int h = 0;
    for (int i = 0; i < c.distinct; ++i)
        if (c.values[i] == stop) h = c.counts[i];
    term(stop, h, false);
    return false;
}
