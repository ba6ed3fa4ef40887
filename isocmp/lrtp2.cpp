#include "isocmp/lrtp2.h"

#include <cmath>
#include <cstdint>

namespace {

std::int64_t sum(int n, const int* v)
{
    std::int64_t s = 0;
    for (int i = 1; i <= n; ++i) s += v[i];
    return s;
}

} // namespace

void lrtp2(int n_e, int n_g, const int* x1, const int* y1, const int* x2, const int* y2, double mu_e1, double mu_g1,
           double mu_e2, double mu_g2, double& T_P)
{
    // 64-bit sums: a gene's reads overflow 32 bits. ρ is a quotient of
    // reals; in integers it would lose its fraction.
    const std::int64_t sx1 = sum(n_e, x1), sx2 = sum(n_e, x2), sy1 = sum(n_g, y1), sy2 = sum(n_g, y2);
    const double Sx1 = static_cast<double>(sx1), Sx2 = static_cast<double>(sx2);
    const double Sy1 = static_cast<double>(sy1), Sy2 = static_cast<double>(sy2);
    const double ne = n_e, ng = n_g;
    const double rho = static_cast<double>(sx1 + sx2) * ng / ne / static_cast<double>(sy1 + sy2);
    const double share = ne * rho + ng;
    const double L1 = static_cast<double>(sx1 + sy1) / share;
    const double L2 = static_cast<double>(sx2 + sy2) / share;
    const double l0 = static_cast<double>(sx1 + sy1) * std::log(L1) - share * L1 + Sx1 * std::log(rho) +
                      static_cast<double>(sx2 + sy2) * std::log(L2) - share * L2 + Sx2 * std::log(rho);
    const double l1 = Sx1 * std::log(mu_e1) + Sy1 * std::log(mu_g1) - ne * mu_e1 - ng * mu_g1 +
                      Sx2 * std::log(mu_e2) + Sy2 * std::log(mu_g2) - ne * mu_e2 - ng * mu_g2;
    T_P = -2 * (l0 - l1);
}
