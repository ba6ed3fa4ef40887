// The settings mfit, lvcmp and isocmp take from their arguments or prompts
// (the table sizes, the permutation switch and the seed), with the values in
// force before intake.
#pragma once

#include "cli/intake.h"
#include "numcore/count_limits.h"

#include <cstdint>

inline constexpr std::int32_t kDefaultNumReads = 24011773;
inline constexpr std::int32_t kDefaultNumConditions = 6;
inline constexpr std::int32_t kDefaultNumExons = 194473;
inline constexpr std::int32_t kDefaultNumGenes = 18773;
inline constexpr std::int32_t kDefaultDoPermute = 0;
inline constexpr std::int64_t kDefaultSeed = -81079;

// A table size; a negative one is refused with status 2, as no table can
// have one, and so is one above `largest`.
std::int32_t take_size(ArgSource& source, std::string_view prompt, std::string_view what, std::int32_t current,
                       std::int32_t largest = kLargestTableSize);

// The seed of the random generator; one whose magnitude exceeds 2147483647
// is refused with status 2, as the generator would index its shuffle table
// out of range.
std::int64_t take_seed(ArgSource& source, std::string_view prompt, std::int64_t current);
