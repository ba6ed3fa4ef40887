// Writing bamcount's output folder: the count tables the pipeline reads
// (reads.txt, exon_zb.txt, gene_zb.txt, gtt.txt), features.tsv, which maps
// the tables' gene and exon numbers back to the annotation, summary.tsv,
// the records of every condition by what became of them, and
// conditions.tsv, each condition's number, name and alignment file.
#pragma once

#include "counting.h"
#include "layout.h"
#include "tables.h"

#include <cstdint>
#include <string>
#include <vector>

// The files write_tables creates in `dir`, in the order it creates them.
std::vector<FileName> table_files(const std::string& dir);

// Returns the four sizes the pipeline's programs take. `inputs` and `names`:
// each condition's alignment file and name, in condition order.
TableSizes write_tables(const std::string& dir, const CountLayout& layout,
                        const std::vector<ConditionCounts>& conditions, const std::vector<std::string>& inputs,
                        const std::vector<std::string>& names);
