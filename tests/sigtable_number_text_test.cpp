// A table's numbers: the fast "%.6g" writer against printf itself on the
// values where rounding is hardest (ties, decade edges, the exponents where
// the notation changes) and against to_chars, which writes printf's
// characters, on millions of values of every magnitude.
#include "sigtable/number_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

namespace {

std::string printf_g6(double v)
{
    if (!std::isfinite(v)) return "NA";
    char text[48];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

} // namespace

TEST(TableNumber, AsPrintfWritesSixSignificantDigits)
{
    const double hard[] = {
        0, -0.0, 1, -1, 0.5, 0.05, 1e-4, 9.99999e-5, 1e-5, 123456, 1234565, 1234575, 999999.5, 999998.5,
        9.999995, 0.9999995, 99999.95, 999999, 1e6, 1e15, 1e17, 1e22, 1e23, 1e28, 1e-17, 1e-18, 2.5e-300,
        4.9e-324, 1.7976931348623157e308, 0.000123456, 0.1 + 0.2, 1.0 / 3, 2.0 / 3, 314159.26535, 3.841459,
        0.0001234565, 12345.65, 1234.5, 100000.5, 1e5, 99999.9999999, 0.000099999949999,
    };
    for (double v : hard)
        for (double x : {v, -v, std::nextafter(v, 0.0), std::nextafter(v, INFINITY)})
            EXPECT_EQ(table_number(x), printf_g6(x)) << x;
    // Every decade's edges, where the exponent is decided.
    for (int e = -320; e <= 308; ++e) {
        const double p = std::pow(10.0, e);
        for (double x : {p, std::nextafter(p, 0.0), std::nextafter(p, INFINITY), p * (1 - 5e-7), p * (1 + 5e-7)})
            EXPECT_EQ(table_number(x), printf_g6(x)) << x;
    }
    EXPECT_EQ(table_number(NAN), "NA");
    EXPECT_EQ(table_number(-INFINITY), "NA");
}

TEST(TableNumber, MatchesToCharsOnEveryMagnitude)
{
    std::mt19937_64 random(20261208);
    std::uniform_real_distribution<double> unit(0, 1);
    std::uniform_int_distribution<int> exponent(-25, 30), digits(1, 9);
    for (int k = 0; k < 2000000; ++k) {
        double v = 0;
        switch (k % 4) {
        case 0: { // any bit pattern
            const std::uint64_t bits = random();
            std::memcpy(&v, &bits, sizeof v);
            break;
        }
        case 1: // spread over the magnitudes tables hold
            v = unit(random) * std::pow(10.0, exponent(random));
            break;
        case 2: { // few digits, as "%.6f" inputs and short p-values have
            const int d = digits(random);
            v = std::round(unit(random) * std::pow(10.0, d)) / std::pow(10.0, d - exponent(random) % 8);
            break;
        }
        default: // near a rounding tie at the sixth digit
            v = (std::floor(unit(random) * 9e5) + 1e5 + 0.5) * std::pow(10.0, exponent(random) % 12 - 5);
        }
        if (!std::isfinite(v)) continue;
        char text[32];
        const std::to_chars_result r = std::to_chars(text, text + sizeof text, v, std::chars_format::general, 6);
        ASSERT_EQ(table_number(v), std::string(text, r.ptr)) << v;
    }
}
