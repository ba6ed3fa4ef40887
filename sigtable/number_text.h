// Numbers as sigtable's refusals quote them.
#pragma once

#include <string>

// "%.6f": as lvcmp and isocmp write their estimates and statistics.
std::string six_decimals(double v);
// "%.10g": a value computed here, to the digits that tell it apart.
std::string shortest(double v);
