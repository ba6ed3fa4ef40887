// The random side of the permutation tests: a uniform stream, binomial
// deviates drawn from it, and the read-by-read re-split of two count vectors.
//
// The stream is driven by a seed the caller owns and passes by reference to
// every call. A seed of 0 or less (re)starts the generator; after that the
// variable holds the first generator's state and changes with every draw.
// The programs hold one seed for the whole run, so a given seed reproduces the
// same permutations, and the same null summaries, for the same inputs. The
// generator's state belongs to the calling thread: one stream per thread,
// drawn in a fixed order (the programs draw the run's stream on one thread).
//
// The arithmetic is partly single precision, exactly as the results depend on
// it; mathematics library functions are evaluated in double on widened single
// values. Seeds must have a magnitude of at most 2147483647 (kMaxSeedMagnitude):
// beyond that the shuffle table would be indexed out of range, so the
// programs refuse such seeds at intake.
#pragma once

#include <cstdint>

inline constexpr std::int64_t kMaxSeedMagnitude = 2147483647;

// A uniform deviate in (0, 1): L'Ecuyer's combination of two multiplicative
// congruential generators with a Bays-Durham shuffle; never 0 and never 1
// (values above 0.99999988 come back as 1 - 2^-23).
float ran2(std::int64_t& seed);

// A binomial deviate: the number of successes in n trials of probability pp,
// as a single-precision whole number from 0 to n. Direct simulation for
// n <= 24, a Poisson approximation for n·p < 1, otherwise rejection from a
// Lorentzian comparison function. Caches ln n! and the logarithms of p and
// 1 - p between calls.
float bnldev(float pp, int n, std::int64_t& seed);

// For i = 1..n splits the pooled count x[i] + y[i] at random, every read going
// to either side with probability one half: xp[i] + yp[i] = x[i] + y[i].
// x and y are not changed; xp and yp are 1-based vectors of n entries.
void fPermuteValues(const int* x, const int* y, int* xp, int* yp, int n, std::int64_t& seed);

// Puts this thread's generator and binomial caches back to their state at
// process start: a fresh process's stream.
void reset_random_state();

// The seed of a tested comparison's own stream (--streams=comparison), from
// the run's seed and the comparison's identity: the gene's number, the two
// conditions, and for a share comparison the exon's number (0 for a level
// comparison). SplitMix64's finaliser mixes the run's seed, then each field
// in turn, into 64 bits h (h = mix(h ^ field)); the seed is
// -(1 + h mod 2147483647), which ran2 takes as a restart. Comparisons that
// differ in any field get unrelated streams, whatever the order they run in.
std::int64_t comparison_seed(std::int64_t run_seed, std::int64_t gene, std::int64_t first, std::int64_t second,
                             std::int64_t exon);
