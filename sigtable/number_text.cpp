#include "sigtable/number_text.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>

std::string six_decimals(double v)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.6f", v);
    return text;
}

std::string shortest(double v)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

std::string table_number(double v)
{
    std::string text;
    append_table_number(text, v);
    return text;
}

namespace {

// 10^k for k = 0..22, every one exact in a double.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// |v| scaled by 10^(5 - exponent), in one correctly rounded operation (a
// product or a quotient by an exact power), so within 1.2e-10 of the exact
// value when it lies below 10^6; false where the power is not exact.
bool scaled(double magnitude, int exponent, double& s)
{
    const int k = 5 - exponent;
    if (k >= 0 && k <= 22) {
        s = magnitude * kExactPowers[k];
        return true;
    }
    if (k < 0 && -k <= 22) {
        s = magnitude / kExactPowers[-k];
        return true;
    }
    return false;
}

// The six significant digits of |v| and its decimal exponent X, as "%.6g"
// rounds them (the exact binary value to nearest, ties to even), when one
// scaling decides them beyond doubt: false near a rounding tie and outside
// 10^-17..10^28, where the caller asks the exact writer. A decade's edge
// needs no care: a value just below 10^X has the digits 999999|9... one
// exponent lower, which round up to 100000 at X, as they do here.
bool six_digits(double magnitude, int& digits, int& exponent)
{
    const int binary = static_cast<int>(std::bit_cast<std::uint64_t>(magnitude) >> 52) - 1023; // |v| >= 2^binary
    if (binary < -60 || binary > 95) return false;
    // floor(binary·log10 2) (78913/2^18 to within 2e-7), which floor(log10 |v|) equals or exceeds by one.
    exponent = (binary * 78913) >> 18;
    constexpr double kDoubt = 1e-7; // far above the scaling's 1.2e-10
    double s = 0;
    if (!scaled(magnitude, exponent, s)) return false;
    if (s >= 1e6 - kDoubt && !scaled(magnitude, ++exponent, s)) return false;
    if (!(s >= 1e5 - kDoubt && s < 1e6 - kDoubt)) return false;
    const auto whole = static_cast<std::int64_t>(s); // floor, s being positive
    const double fraction = s - static_cast<double>(whole); // exact below 2^53
    if (std::fabs(fraction - 0.5) < kDoubt) return false;
    digits = static_cast<int>(whole) + (fraction > 0.5 ? 1 : 0);
    if (digits == 1000000) {
        digits = 100000;
        ++exponent;
    }
    return true;
}

// "%.6g" of a nonzero finite value from its digits: fixed notation for
// exponents -4..5, scientific otherwise, trailing zeros dropped.
void append_six_digits(std::string& out, bool negative, int digits, int exponent)
{
    char d[6];
    for (int k = 5; k >= 0; --k) {
        d[k] = static_cast<char>('0' + digits % 10);
        digits /= 10;
    }
    int last = 5; // the last digit that is not a trailing zero
    while (last > 0 && d[last] == '0') --last;
    char text[24];
    char* p = text;
    if (negative) *p++ = '-';
    if (exponent < -4 || exponent >= 6) {
        *p++ = d[0];
        if (last > 0) {
            *p++ = '.';
            for (int k = 1; k <= last; ++k) *p++ = d[k];
        }
        *p++ = 'e';
        *p++ = exponent < 0 ? '-' : '+';
        const int e = exponent < 0 ? -exponent : exponent;
        if (e >= 100) *p++ = static_cast<char>('0' + e / 100);
        *p++ = static_cast<char>('0' + e / 10 % 10);
        *p++ = static_cast<char>('0' + e % 10);
    } else if (exponent >= 0) {
        for (int k = 0; k <= exponent; ++k) *p++ = d[k];
        if (last > exponent) {
            *p++ = '.';
            for (int k = exponent + 1; k <= last; ++k) *p++ = d[k];
        }
    } else {
        *p++ = '0';
        *p++ = '.';
        for (int k = -1; k > exponent; --k) *p++ = '0';
        for (int k = 0; k <= last; ++k) *p++ = d[k];
    }
    out.append(text, p);
}

} // namespace

// "%.6g" without printf's format parsing and locale. A table of millions of
// rows spends most of its writing here, so the digits come from one scaling
// by an exact power of ten wherever that decides them; to_chars, which
// gives printf's characters exactly, writes the rest (the far exponents
// and values within 1e-7 of a rounding tie).
void append_table_number(std::string& out, double v)
{
    if (!std::isfinite(v)) {
        out += "NA";
        return;
    }
    if (v == 0) {
        out += std::signbit(v) ? "-0" : "0";
        return;
    }
    int digits = 0, exponent = 0;
    if (six_digits(std::fabs(v), digits, exponent)) {
        append_six_digits(out, v < 0, digits, exponent);
        return;
    }
    char text[32];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, v, std::chars_format::general, 6);
    out.append(text, r.ptr);
}

void append_integer(std::string& out, std::int64_t v)
{
    char text[24];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, v);
    out.append(text, r.ptr);
}

std::string table_fold_change(double v)
{
    if (std::isinf(v)) return v > 0 ? "Inf" : "-Inf";
    return table_number(v);
}

