// The index of a reads file (line_index.h): where its rows start, so that a
// run over a range of genes (--genes) reads only the rows of its genes
// instead of the whole table. Row r is line r of a file laid out one row per
// line of 3 + num_conditions fields.
#pragma once

#include "tables/line_index.h"

#include <cstdint>
#include <optional>
#include <string>

using ReadsIndex = LineIndex;

inline constexpr std::int64_t kIndexEvery = kReadsIndexEvery;

inline std::string reads_index_path(const std::string& reads_path) { return line_index_path(reads_path); }

// Reads the reads file and writes its index beside it; an empty string, or
// why no index could be made (write_line_index).
inline std::string write_reads_index(const FileName& reads, std::int32_t num_conditions,
                                     std::int64_t every = kIndexEvery)
{
    return write_line_index(reads, IndexFormat::reads, 3 + std::int64_t(num_conditions), every);
}

// The index of the opened reads file, when it belongs to the file with this
// many conditions and at least num_reads rows (find_line_index).
inline std::optional<ReadsIndex> find_reads_index(InputFile& reads, std::int32_t num_conditions,
                                                  std::int64_t num_reads)
{
    return find_line_index(reads, IndexFormat::reads, 3 + std::int64_t(num_conditions), num_reads, "num_reads");
}
