#include "lvcmp/lrtp.h"

#include <cmath>
#include <cstdint>

void lrtp(int nx, const int* x, int ny, const int* y, double& statistic, double a, double mu_x, double mu_y)
{
    // The sums of a large gene's counts overflow 32 bits; 64 bits give the
    // same values wherever 32 did not overflow.
    std::int64_t sx = 0, sy = 0;
    for (int i = 1; i <= nx; ++i) sx += x[i];
    for (int i = 1; i <= ny; ++i) sy += y[i];
    statistic = lrtp_from_sums(sx, nx, sy, ny, a, mu_x, mu_y);
}

double lrtp_from_sums(std::int64_t sx, int nx, std::int64_t sy, int ny, double a, double mu_x, double mu_y)
{
    const double Sx = static_cast<double>(sx);
    const double Sy = static_cast<double>(sy);
    const double mu0 = static_cast<double>(sx + sy) / (nx + ny * a);
    const double l0 = Sx * std::log(mu0) + Sy * std::log(mu0) - (nx + ny * a) * mu0 + Sy * std::log(a);
    const double l1 = Sx * std::log(mu_x) + Sy * std::log(mu_y) - nx * mu_x - ny * mu_y;
    return -2 * (l0 - l1);
}

double lrtp_one_side_empty(std::int64_t sx, int nx, std::int64_t sy, int ny, double a)
{
    const double Sx = static_cast<double>(sx);
    const double Sy = static_cast<double>(sy);
    const double mu_x = Sx / nx, mu_y = Sy / ny;
    auto term = [](double s, double mu) { return s == 0 ? 0.0 : s * std::log(mu); };
    const double mu0 = static_cast<double>(sx + sy) / (nx + ny * a);
    const double l0 = term(Sx, mu0) + term(Sy, mu0) - (nx + ny * a) * mu0 + Sy * std::log(a);
    const double l1 = term(Sx, mu_x) + term(Sy, mu_y) - nx * mu_x - ny * mu_y;
    return -2 * (l0 - l1);
}
