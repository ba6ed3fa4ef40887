#include "numcore/nullsummary.h"

void nulladd(PermutationSummary& summary, double statistic)
{
    summary.nvalid = summary.nvalid + 1;
    summary.sum = static_cast<float>(statistic + static_cast<double>(summary.sum));
    summary.sumsq = static_cast<float>(statistic * statistic + static_cast<double>(summary.sumsq));
}

void nullgamma(PermutationSummary& summary)
{
    const float n = static_cast<float>(summary.nvalid);
    const float q = summary.sumsq / n;
    const float mean = summary.sum / n;
    float v = q - mean * mean;
    const double nd = static_cast<double>(summary.nvalid);
    v = static_cast<float>(static_cast<double>(v) * ((nd - 1) / nd));
    summary.scale = v / mean;
    summary.shape = mean / summary.scale;
}
