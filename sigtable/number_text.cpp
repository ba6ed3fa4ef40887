#include "sigtable/number_text.h"

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
