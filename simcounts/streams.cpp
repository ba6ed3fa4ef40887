#include "simcounts/streams.h"

namespace {

constexpr std::uint64_t splitmix64(std::uint64_t& state)
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// log(k!) from a table for small k and the Stirling series beyond, where its
// truncation error is far below double precision.
class LogFactorial {
public:
    LogFactorial()
    {
        for (int k = 1; k < kTable; ++k) table_[k] = table_[k - 1] + std::log(static_cast<double>(k));
    }
    double operator()(double k) const
    {
        if (k < kTable) return table_[static_cast<int>(k)];
        const double inv = 1.0 / k;
        const double inv2 = inv * inv;
        return k * std::log(k) - k + 0.5 * std::log(2.0 * 3.14159265358979323846 * k) +
               inv * (1.0 / 12.0 - inv2 * (1.0 / 360.0 - inv2 * (1.0 / 1260.0)));
    }

private:
    static constexpr int kTable = 256;
    double table_[kTable] = {0.0};
};

const LogFactorial log_factorial_table;

} // namespace

Rng::Rng(std::uint64_t seed, Purpose purpose, std::uint64_t index)
{
    std::uint64_t key = splitmix64(seed) ^ (static_cast<std::uint64_t>(purpose) * 0xD6E8FEB86659FD93ULL);
    key = splitmix64(key) ^ (index * 0xA0761D6478BD642FULL);
    for (auto& word : s_) word = splitmix64(key);
}

double log_factorial(double k) { return log_factorial_table(k); }
