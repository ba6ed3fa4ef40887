// The table sizes that every program takes first, with their defaults.
#pragma once

#include "intake.h"

#include <cstdint>

inline constexpr std::int32_t kDefaultNumReads = 24011773;
inline constexpr std::int32_t kDefaultNumConditions = 6;
inline constexpr std::int32_t kDefaultNumExons = 194473;
inline constexpr std::int32_t kDefaultNumGenes = 18773;

// A table size from the arguments or a prompt; a negative size is refused
// with status 2, as no table can have one.
std::int32_t take_size(ArgSource& source, std::string_view prompt, std::string_view what, std::int32_t current);
