// The largest counts and lengths the numeric routines are built to hold.
//
// Counts are ints, and so are the indices of the 1-based vectors. A vector of
// largest count M has histograms indexed 0..M, and the permutation tests pool
// the counts of two conditions at a position into one int before splitting
// them again; a vector of length n is walked by int indices 1..n. Both limits
// keep every such sum and index within 32 bits with room to spare. They lie
// far beyond real data (10^6 reads at a position, genes of 10^5 positions)
// and are checked where the tables are read, so no routine meets a value
// beyond them.
#pragma once

#include <cstdint>

// The largest count at a position: 2^30 - 1, so two of them still fit an int.
inline constexpr std::int32_t kLargestCount = 1073741823;
// The largest length of an exon or a gene, in positions: 2^30 - 1.
inline constexpr std::int32_t kLargestLength = 1073741823;
// The largest number of rows, exons or genes of a table: 2^31 - 2, so that a
// loop over 1..n ends.
inline constexpr std::int32_t kLargestTableSize = 2147483646;
// The largest number of conditions: a row holds three leading fields and a
// count per condition, and the level test writes a line per pair of
// conditions, 65535 · 65534 / 2 of them at most, all within an int.
inline constexpr std::int32_t kLargestConditions = 65535;
