#include "sigtable/axis_ticks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// 10^e, exact for |e| <= 22.
double power_of_ten(int e)
{
    if (e < -22 || e > 22) return std::pow(10.0, e);
    double p = 1;
    for (int k = 0; k < std::abs(e); ++k) p *= 10;
    return e < 0 ? 1 / p : p;
}

// k steps of m·10^e, computed so that 3 steps of 0.1 give 0.3, not
// 0.30000000000000004: the multiple is an integer, divided by an exact
// power of ten.
double multiple(std::int64_t k, int m, int e)
{
    const double n = static_cast<double>(k * m);
    return e < 0 && e >= -22 ? n / power_of_ten(-e) : n * power_of_ten(e);
}

} // namespace

Axis choose_axis(double lo, double hi, bool from_zero)
{
    if (!std::isfinite(lo) || !std::isfinite(hi) || lo > hi) lo = 0, hi = from_zero ? 1 : 0;
    if (from_zero) lo = 0, hi = std::max(hi, 0.0);
    if (hi - lo <= 1e-12 * std::max(std::abs(lo), std::abs(hi))) {
        // One value: a unit of its magnitude around it (from 0 to it, for
        // an axis from zero).
        const double v = hi;
        if (from_zero) {
            hi = v > 0 ? v : 1;
        } else if (v == 0) {
            lo = -1, hi = 1;
        } else {
            const double unit = power_of_ten(static_cast<int>(std::floor(std::log10(std::abs(v)))));
            lo = v - unit, hi = v + unit;
        }
    }
    Axis axis;
    // Steps from below a tenth of the range upwards; a step of ten times
    // the range's magnitude covers it with at most three ticks, so the loop
    // ends.
    const int start = static_cast<int>(std::floor(std::log10(hi - lo))) - 2;
    for (int e = start;; ++e) {
        for (int m : {1, 2, 5}) {
            const double step = multiple(1, m, e);
            // The tolerance keeps a tick the data reach only up to rounding
            // (0.3 / 0.1 = 2.9999999999999996) from adding a step.
            const auto first = static_cast<std::int64_t>(std::floor(lo / step + 1e-9));
            const auto last = static_cast<std::int64_t>(std::ceil(hi / step - 1e-9));
            if (last - first + 1 > 8) continue;
            axis.step = step;
            axis.step_exponent = e;
            for (std::int64_t k = first; k <= last; ++k) axis.ticks.push_back(multiple(k, m, e));
            axis.lo = axis.ticks.front();
            axis.hi = axis.ticks.back();
            return axis;
        }
    }
}

std::string tick_label(double value, const Axis& axis)
{
    if (value == 0) return "0"; // never "-0"
    const double largest = std::max(std::abs(axis.lo), std::abs(axis.hi));
    const int magnitude = static_cast<int>(std::floor(std::log10(largest)));
    char text[64];
    if (magnitude < -4 || magnitude >= 6) {
        // The significant digits from the largest tick's down to the step's.
        const int digits = std::max(1, magnitude - axis.step_exponent + 1);
        std::snprintf(text, sizeof text, "%.*e", digits - 1, value);
        std::string s = text;
        const std::size_t e = s.find('e');
        std::string mantissa = s.substr(0, e);
        if (mantissa.find('.') != std::string::npos) {
            mantissa.erase(mantissa.find_last_not_of('0') + 1);
            if (mantissa.back() == '.') mantissa.pop_back();
        }
        return mantissa + "e" + std::to_string(std::atoi(s.c_str() + e + 1));
    }
    std::snprintf(text, sizeof text, "%.*f", std::max(0, -axis.step_exponent), value);
    std::string s = text;
    if (s.find('.') != std::string::npos) {
        s.erase(s.find_last_not_of('0') + 1);
        if (s.back() == '.') s.pop_back();
    }
    return s;
}
