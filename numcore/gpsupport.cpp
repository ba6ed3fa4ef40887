#include "numcore/gpsupport.h"

#include <cmath>

bool gp_supported(double rate, double theta)
{
    if (!(theta < 0)) return true;
    const double k = std::trunc(-rate / theta);
    if (k <= 3) return false;
    // No guard for k = 0: -rate / 0 is infinite or not a number, and no fault.
    if (-rate / k < -1 && theta < -1) return false;
    return true;
}
