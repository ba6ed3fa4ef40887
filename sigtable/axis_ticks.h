// The plots' axes: a range and round tick marks over the data, as plotting
// libraries choose them. The step is 1, 2 or 5 times a power of ten, the
// smallest giving at most eight ticks (so about five to eight), and the
// axis runs from the last tick at or below the data to the first at or
// above it, so that both ends carry a label. One value, or all values
// equal, get a range of one unit of their own magnitude on either side
// (3 gives 2 to 4; 0 gives -1 to 1).
#pragma once

#include <string>
#include <vector>

struct Axis {
    double lo = 0, hi = 1;     // the axis' ends: its first and last tick
    std::vector<double> ticks; // ascending, lo first and hi last
    double step = 0.2;
    int step_exponent = -1; // step = 1, 2 or 5 times 10^step_exponent
};

// The axis over data from lo to hi (lo <= hi; values that are not finite
// give the axis 0 to 1). With `from_zero`, for data at or above 0 such as
// -log10 p-values, the axis starts at 0 whatever the data.
Axis choose_axis(double lo, double hi, bool from_zero = false);

// A tick's label with the digits the step needs and no more: "0.5", "15",
// "-0.015", "0"; in exponent form ("2e-10", "5e7") for ticks of a
// magnitude below 1e-4 or from 1e6 up.
std::string tick_label(double value, const Axis& axis);
