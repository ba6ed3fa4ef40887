#include "numcore/gammln.h"

#include <cmath>

double gammln(double x)
{
    static const double cof[6] = {76.18009172947146, -86.50532032941677, 24.01409824083091,
                                  -1.231739572450155, 0.001208650973866179, -0.000005395239384953};
    double y = x;
    double t = x + 5.5;
    t = t - (x + 0.5) * std::log(t);
    double s = 1.000000000190015;
    for (int j = 0; j < 6; ++j) {
        y = y + 1;
        s = s + cof[j] / y;
    }
    // Deliberately the double nearest 2.5066282746310005, not the one nearest
    // sqrt(2 pi): the published coefficients were fitted with it.
    return std::log(2.5066282746310005 * s / x) - t;
}
