// bamcount: from aligned reads and a gene annotation to the pipeline's count
// tables. The annotation is read (annotation.h) and its genes flattened into
// disjoint exonic parts (flatten.h), which fix the tables' positions
// (layout.h); every condition's alignments are counted onto them (here) and
// the output folder written (tables_writer.h).
//
// This header: counting one condition's alignments (a BAM, CRAM or SAM
// file) onto the exonic positions of a CountLayout; which records count is
// decided in record_class.h.
//
// A read counts once, at its 5' end: the first aligned base of a forward
// read, the last of a reverse one. A pair counts once, as a fragment, at its
// first mate's 5' end (at the second mate's when the first is unmapped), and
// the fragment's strand is its first mate's. With a stranded protocol the
// fragment counts only in genes of the strand the protocol implies; without
// one, a position in genes of both strands is ambiguous and not counted.
// In coverage mode every aligned base of every mate counts instead.
//
// The file is read from start to end, so neither an index nor any order of
// its records is needed.
#pragma once

#include "bamcount/layout.h"
#include "bamcount/record_class.h"
#include "cli/diag.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct CountSettings : RecordRules {
    // The threads at work, as mfit's --threads: with more than 1, as many
    // decompress the file while the calling thread counts its records; with
    // 1 the calling thread does both.
    int threads = 1;
    std::string reference;       // FASTA for CRAM files, empty for none
};

struct ConditionCounts {
    // (offset, count) of every position with a count, ascending offsets.
    std::vector<std::pair<std::uint32_t, std::int32_t>> nonzero;
    std::array<std::uint64_t, kReasons> records{};
    std::uint64_t counted = 0; // reads (or bases, in coverage mode) counted
};

ConditionCounts count_alignments(const FileName& file, const CountLayout& layout, const CountSettings& settings);
