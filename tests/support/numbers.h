// Small helpers for tests of the numeric routines.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// A real as "%.6f" prints it, the form every output file uses.
inline std::string six(double x)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6f", x);
    return buf;
}

// The counts as a 1-based vector, its unused first cell a marker.
inline std::vector<int> one_based(std::vector<int> v)
{
    v.insert(v.begin(), -999);
    return v;
}
