// Counts as a gene's positions hold them, for tests that hold a fast path
// to its plain form: Poisson counts whose rates vary from position to
// position (gamma distributed, so the counts are overdispersed: negative
// binomial), with a share of positions at zero besides.
#pragma once

#include <cstddef>
#include <random>
#include <vector>

// `n` counts of mean about `mean` (times 1 - `zeros`), 1-based: cell 0 holds
// -999, a marker no count takes. `zeros` is the chance that a position is 0
// whatever its rate. `shape` is the gamma shape of the rates: 1 makes them
// exponential, larger values bring the counts closer to Poisson ones (the
// variance is mean + mean^2 / shape). Drawn from `rng`, so that a test's
// vectors follow from its one seed.
template <typename Rng>
std::vector<int> overdispersed_counts(Rng& rng, int n, double mean, double zeros = 0.0, double shape = 1.5)
{
    std::gamma_distribution<double> rate(shape, mean / shape);
    std::bernoulli_distribution zero(zeros);
    std::vector<int> v(static_cast<std::size_t>(n) + 1, -999);
    for (std::size_t i = 1; i < v.size(); ++i)
        // A rate of 0 is not a Poisson mean; 1e-9 draws 0 all the same.
        v[i] = zero(rng) ? 0 : std::poisson_distribution<int>(rate(rng) + 1e-9)(rng);
    return v;
}

// The same counts without the marker cell, for tests that index from 0.
template <typename Rng>
std::vector<int> overdispersed_values(Rng& rng, int n, double mean, double zeros = 0.0, double shape = 1.5)
{
    std::vector<int> v = overdispersed_counts(rng, n, mean, zeros, shape);
    v.erase(v.begin());
    return v;
}
