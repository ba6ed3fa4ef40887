// Where each exon of a gene sits in the gene's count vector: for the exon
// e of gene g, row e - first_exon + 1 holds the first ([1]) and last ([2])
// position of its rows; an exon without rows has last = first - 1. The
// positions do not depend on the condition.
#pragma once

#include "numcore/arrays.h"
#include "tables/tables.h"

#include <cstdint>

using ExonSlice = IntMatrix; // [1..exons of the gene][1..2]

inline constexpr int kSliceStart = 1;
inline constexpr int kSliceEnd = 2;
