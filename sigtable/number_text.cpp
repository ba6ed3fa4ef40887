#include "sigtable/number_text.h"

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
    if (!std::isfinite(v)) return "NA";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

std::string table_fold_change(double v)
{
    if (std::isinf(v)) return v > 0 ? "Inf" : "-Inf";
    return table_number(v);
}

