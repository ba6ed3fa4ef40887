#include "sigtable/number_text.h"

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

// to_chars with a precision writes what printf's "%.6g" writes, without
// the format string's parsing and locale: a table of millions of rows
// spends most of its writing here.
void append_table_number(std::string& out, double v)
{
    if (!std::isfinite(v)) {
        out += "NA";
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

