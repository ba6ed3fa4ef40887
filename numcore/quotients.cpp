#include "numcore/quotients.h"

#include "numcore/histogram.h"

// The loops vectorise; processors with AVX2 take four-lane registers (AVX2
// brings no fused multiply-add by itself, so nothing can contract them).
// Not under the thread sanitizer, whose instrumented clone resolver would
// run before the sanitizer has started.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define QUOTIENTS_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define QUOTIENTS_CLONES
#endif

QUOTIENTS_CLONES
void quotients2(int k, const double* w, const double* d, double f, double g, double* q1, double* q2)
{
    for (int j = 0; j < k; ++j) {
        q1[j] = w[j] * f / d[j];
        q2[j] = w[j] * g / (d[j] * d[j]);
    }
}

QUOTIENTS_CLONES
void quotients5(int k, const double* w, const double* v, const double* d, double rho, double L, double theta,
                double* q1, double* q2, double* q3, double* q4, double* q5)
{
    const double rho2 = rho * rho;
    const double L2 = L * L;
    for (int j = 0; j < k; ++j) {
        const double d2 = d[j] * d[j];
        q1[j] = w[j] * rho / d[j];
        q2[j] = w[j] * L / d[j];
        q3[j] = w[j] * rho2 / d2;
        q4[j] = w[j] * v[j] * theta / d2;
        q5[j] = w[j] * L2 / d2;
    }
}

QUOTIENTS_CLONES
void quotients_equation(int k, const double* w, const double* c, const double* d, double* q1, double* q2)
{
    for (int j = 0; j < k; ++j) {
        q1[j] = w[j] / d[j];
        q2[j] = (c[j] * w[j] / d[j]) / d[j];
    }
}

namespace {

constexpr int kBlock = 256;

// The quotients of one histogram's sums for a block of its values, from
// `next` on: q1 = w·f/d and q2 = w·g/(d·d) as quotients2 gives them.
struct QuotientBlock {
    QuotientBlock(const CountView& view, double th, double r, double fw, double gw)
        : c(view), theta(th), rate(r), f(fw), g(gw)
    {
    }
    const CountView& c;
    double theta, rate, f, g;
    int next = 0;  // first value not yet summed
    int ready = 0; // quotients for values next..next+ready-1
    double q1[kBlock], q2[kBlock];

    void fill()
    {
        double w[kBlock], d[kBlock];
        ready = c.distinct - next < kBlock ? c.distinct - next : kBlock;
        for (int j = 0; j < ready; ++j) {
            const int v = c.values[next + j];
            w[j] = value_sums::weight(v, c.counts[next + j]);
            d[j] = v * theta + rate;
        }
        quotients2(ready, w, d, f, g, q1, q2);
    }
};

} // namespace

void add_quotient_sums(const CountView& c, double theta, double rate, double f, double g, double& S, double& D)
{
    QuotientBlock b{c, theta, rate, f, g};
    for (; b.next < c.distinct; b.next += b.ready) {
        b.fill();
        for (int j = 0; j < b.ready; ++j) {
            S = S + b.q1[j];
            D = D - b.q2[j];
        }
    }
}

bool add_rate_sums(const CountView& c, value_sums::Span every, double theta, double rate, double f, double g,
                   double& S, double& D)
{
    if (every.empty()) {
        add_quotient_sums(c, theta, rate, f, g, S, D);
        return true;
    }
    return value_sums::visit(c, 0, c.max, every, [&](int v, int h) {
        const double d = v * theta + rate;
        if (d == 0) return false;
        S = S + value_sums::weight(v, h) * f / d;
        D = D - value_sums::weight(v, h) * g / (d * d);
        return true;
    });
}

void add_quotient_sums_side_by_side(const CountView& c1, double theta1, double rate1, double& S1, double& D1,
                                    const CountView& c2, double theta2, double rate2, double& S2, double& D2)
{
    QuotientBlock a{c1, theta1, rate1, 1.0, 1.0}, b{c2, theta2, rate2, 1.0, 1.0};
    double s1 = S1, d1 = D1, s2 = S2, d2 = D2;
    while (a.next < c1.distinct || b.next < c2.distinct) {
        a.fill();
        b.fill();
        const int both = a.ready < b.ready ? a.ready : b.ready;
        for (int j = 0; j < both; ++j) {
            s1 = s1 + a.q1[j];
            d1 = d1 - a.q2[j];
            s2 = s2 + b.q1[j];
            d2 = d2 - b.q2[j];
        }
        for (int j = both; j < a.ready; ++j) {
            s1 = s1 + a.q1[j];
            d1 = d1 - a.q2[j];
        }
        for (int j = both; j < b.ready; ++j) {
            s2 = s2 + b.q1[j];
            d2 = d2 - b.q2[j];
        }
        a.next += a.ready;
        b.next += b.ready;
    }
    S1 = s1, D1 = d1, S2 = s2, D2 = d2;
}

QUOTIENTS_CLONES
ProfileSums profile_sums(int k, const double* w, const double* v, double lambda, double theta, double mu)
{
    double a[4] = {0, 0, 0, 0}, b[4] = {0, 0, 0, 0}, c[4] = {0, 0, 0, 0}, e[4] = {0, 0, 0, 0};
    int j = 0;
    for (; j + 4 <= k; j += 4) {
        for (int lane = 0; lane < 4; ++lane) {
            const double inverse = 1 / (lambda + theta * v[j + lane]);
            const double slope = (v[j + lane] - mu) * inverse;
            a[lane] += w[j + lane] * inverse;
            b[lane] += w[j + lane] * v[j + lane] * (inverse * inverse);
            c[lane] += w[j + lane] * slope;
            e[lane] += w[j + lane] * (slope * slope);
        }
    }
    for (int lane = 0; j < k; ++j, ++lane) {
        const double inverse = 1 / (lambda + theta * v[j]);
        const double slope = (v[j] - mu) * inverse;
        a[lane] += w[j] * inverse;
        b[lane] += w[j] * v[j] * (inverse * inverse);
        c[lane] += w[j] * slope;
        e[lane] += w[j] * (slope * slope);
    }
    return {(a[0] + a[1]) + (a[2] + a[3]), (b[0] + b[1]) + (b[2] + b[3]), (c[0] + c[1]) + (c[2] + c[3]),
            (e[0] + e[1]) + (e[2] + e[3])};
}
