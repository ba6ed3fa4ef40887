// Sums over count values that visit only the values some position holds.
//
// The fits and statistics sum, for v = 0..M in ascending order, a term
// h[v]·f(v)/d(v) (or h[v]·f(v)·ln d(v)), where d(v) = v·θ + rate is linear in
// v. At a value that no position holds, h[v] = 0 and the term is a zero, and
// adding a zero changes nothing, so those values can be skipped, but only
// where the plain pass would really add a zero:
//
//  - the term is ±0 only while every factor multiplied by h[v] = 0 is finite
//    and every divisor is a number other than 0: d(v) and d(v)·d(v) must not
//    be 0 (d·d underflows to 0 for |d| below about 1.5e-162, giving 0/0) and
//    not NaN, and ln d(v) must be finite;
//  - adding ±0 leaves an accumulator unchanged unless it is -0 and the term
//    +0 (-0 + +0 = +0). An accumulator that does not start at -0 never
//    becomes -0 (x + y is -0 only when both are -0), so the sparse path is
//    taken only for accumulators that do not start at -0.
//
// With finite θ and rate, d(v) is a monotone function of v even as rounded
// (v·θ and the sum are correctly rounded, rounding is monotone) and never
// NaN. So the values where |d| is tiny, d = 0 among them, form one interval,
// found by bisection; those values are visited one by one, present or not,
// and every other absent value is skipped. Callers check the remaining
// conditions and otherwise visit every value (the plain pass).
#pragma once

#include "numcore/histogram.h"

#include <cmath>
#include <cstdint>

namespace value_sums {

// Below this size a denominator d is visited even where no position holds its
// value: d·d is then at most 1e-300, not yet 0, so beyond it every skipped
// term is an exact ±0.
inline constexpr double kTiny = 1e-150;

inline bool is_negative_zero(double x) { return x == 0 && std::signbit(x); }

// Values lo..hi, both included, as an interval; empty when lo > hi.
struct Span {
    int lo = 1;
    int hi = 0;
    bool empty() const { return lo > hi; }
};

// For f monotone (either way) on lo..hi and never NaN: the values v with
// |f(v)| < kTiny, which form an interval.
template <class F>
Span tiny_values(int lo, int hi, F f)
{
    if (lo > hi) return {};
    const double a = f(lo), b = f(hi);
    if ((a >= kTiny && b >= kTiny) || (a <= -kTiny && b <= -kTiny)) return {}; // the common case
    const bool rising = a <= b;
    // First value at which a monotone predicate holds, hi + 1 if none.
    auto first = [&](auto holds) {
        int l = lo, h = hi + 1;
        while (l < h) {
            const int mid = l + (h - l) / 2;
            if (holds(f(mid)))
                h = mid;
            else
                l = mid + 1;
        }
        return l;
    };
    if (rising)
        return {first([](double d) { return d > -kTiny; }), first([](double d) { return d >= kTiny; }) - 1};
    return {first([](double d) { return d < kTiny; }), first([](double d) { return d <= -kTiny; }) - 1};
}

// The values of c's 0..max that a sum with the denominator v·θ + rate must
// visit although no position holds them: those where it is tiny or 0; all of
// them when θ or the rate is not finite, when another factor that multiplies
// h is not (`factors_finite` false), or when a sum that a zero could change
// starts at -0 (`starts_negative_zero`).
inline Span must_visit(const CountView& c, double theta, double rate, bool factors_finite, bool starts_negative_zero)
{
    if (!factors_finite || starts_negative_zero || !std::isfinite(theta) || !std::isfinite(rate)) return {0, c.max};
    return tiny_values(0, c.max, [&](int v) { return v * theta + rate; });
}

// (v - 1)·h, the weight of the count value v held by h positions in the rate
// equations, exact in 64 bits (it overflows 32 for large counts) before it
// becomes a double.
inline double weight(int v, int h) { return static_cast<double>(static_cast<std::int64_t>(v - 1) * h); }

// For f monotone (either way) on lo..hi and never NaN: the first v with
// f(v) <= 0, or hi + 1 when there is none.
template <class F>
int first_not_positive(int lo, int hi, F f)
{
    if (lo > hi) return lo;
    if (f(lo) <= 0) return lo;
    if (f(hi) > 0) return hi + 1; // monotone and positive at both ends
    int l = lo + 1, h = hi;       // f(lo) > 0 >= f(hi): falling
    while (l < h) {
        const int mid = l + (h - l) / 2;
        if (f(mid) <= 0)
            h = mid;
        else
            l = mid + 1;
    }
    return l;
}

// Calls term(v, h) in ascending order of v for the values v in lo..hi that
// some position holds (h positions) and, within `every`, for every value,
// held or not (h = 0 then). Stops at the first term that gives false, and
// gives false then.
template <class Term>
bool visit(const CountView& c, int lo, int hi, Span every, Term&& term)
{
    int i = 0;
    while (i < c.distinct && c.values[i] < lo) ++i;
    if (every.lo < lo) every.lo = lo;
    if (every.hi > hi) every.hi = hi;
    if (every.empty()) {
        for (; i < c.distinct && c.values[i] <= hi; ++i)
            if (!term(c.values[i], c.counts[i])) return false;
        return true;
    }
    for (; i < c.distinct && c.values[i] < every.lo; ++i)
        if (!term(c.values[i], c.counts[i])) return false;
    for (int v = every.lo; v <= every.hi; ++v) {
        int h = 0;
        if (i < c.distinct && c.values[i] == v) h = c.counts[i++];
        if (!term(v, h)) return false;
    }
    for (; i < c.distinct && c.values[i] <= hi; ++i)
        if (!term(c.values[i], c.counts[i])) return false;
    return true;
}

} // namespace value_sums
