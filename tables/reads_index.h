// The index of a reads file: where its rows start, so that a run over a
// range of genes (--genes) reads only the rows of its genes instead of the
// whole table.
//
// The index, "<reads file>.idx" beside the reads file, is a text file:
//
//   reads-index 1
//   size <bytes of the reads file>
//   check <16 hex digits: a checksum of the size and 16 blocks of the file>
//   conditions <counts per row>
//   rows <rows indexed>
//   every <K>
//   offsets <16 hex digits: a checksum of the offsets below>
//   <byte offset of row 1>
//   <byte offset of row K + 1>
//   ...
//
// one offset for every K-th row (K = 4096 by default): rows 1, K + 1,
// 2K + 1, ... up to `rows`. It is made only of a plain (not gzip) file laid
// out one row per line, each line 3 + conditions fields, so that row r is
// line r and a reader started at an offset names the file's own line
// numbers; `rows` counts the lines of that layout from the top (a line that
// breaks it ends the index, and the rows after it are left to whole reads).
//
// An index that does not belong to the reads file (another size or checksum,
// another number of conditions, fewer rows than num_reads, a damaged or cut
// index) is ignored with a warning, and the reads file is read whole, as
// without one.
#pragma once

#include "tables/textin.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ReadsIndex {
    std::uint64_t size = 0;
    std::uint64_t check = 0;
    std::int32_t conditions = 0;
    std::int64_t rows = 0;
    std::int64_t every = 0;
    std::vector<std::uint64_t> offsets; // offsets[k]: row k * every + 1

    // The bytes [begin, end) that hold rows first..last (1 <= first <=
    // last <= rows), starting at the row `start` <= first at `begin`.
    struct Span {
        std::uint64_t begin = 0, end = 0;
        std::int64_t start = 0;
    };
    Span span(std::int64_t first, std::int64_t last) const;
    // Whether byte `at` of the reads file starts a line: a last guard
    // against a file changed in place where the checksum did not look.
    static bool starts_line(int fd, std::uint64_t at);
};

inline constexpr std::int64_t kIndexEvery = 4096;

std::string reads_index_path(const std::string& reads_path);

// Reads the reads file at `reads_path` and writes its index beside it
// (under a temporary name, renamed once whole). Returns an empty string, or
// why no index could be made (a gzip file, no row in the one-row-per-line
// layout); a file that cannot be read or written stops with status 2.
std::string write_reads_index(const FileName& reads, std::int32_t num_conditions,
                              std::int64_t every = kIndexEvery);

// The index of the opened reads file, when there is one and it belongs to
// the file with this many conditions and at least num_reads rows; nothing
// (after a warning, unless there is simply no index) otherwise, and for a
// gzip file or one that cannot seek.
std::optional<ReadsIndex> find_reads_index(InputFile& reads, std::int32_t num_conditions, std::int64_t num_reads);
