// The index of a table file laid out one record per line: where every K-th
// line starts, so that a run over a range of genes (--genes) reads only the
// lines of its genes and their exons instead of the whole file.
//
// The index, "<file>.idx" beside the file, is a text file:
//
//   <format> 1                 "reads-index" or "table-index"
//   size <bytes of the file>
//   check <16 hex digits: a checksum of the size and 16 blocks of the file>
//   conditions <C>             reads-index: lines of 3 + C fields
//   fields <F>                 table-index: lines of F fields
//   rows <lines indexed>
//   every <K>
//   offsets <16 hex digits: a checksum of the offsets below>
//   <byte offset of line 1>
//   <byte offset of line K + 1>
//   ...
//
// one offset for every K-th line: lines 1, K + 1, 2K + 1, ... up to `rows`.
// It is made only of a plain (not gzip) file whose lines all hold the same
// number of fields, so that record r is line r and a reader started at an
// offset names the file's own line numbers; `rows` counts the lines of that
// layout from the top (a line that breaks it ends the index, and the records
// after it are left to whole reads). The reads file's index keeps its own
// header (the reads are indexed by their number of conditions, and their
// checksum samples 4 KB blocks); every other table's samples 1 KB blocks, as
// a shard reads only a few hundred kilobytes of them.
//
// An index that does not belong to its file (another size or checksum,
// another number of fields, fewer lines than the records the run needs, a
// damaged or cut index) is ignored with a warning, and the file is read
// whole, as without one.
#pragma once

#include "tables/textin.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class IndexFormat { reads, table };

struct LineIndex {
    IndexFormat format = IndexFormat::table;
    std::uint64_t size = 0;
    std::uint64_t check = 0;
    std::int64_t fields = 0; // per line
    std::int64_t rows = 0;
    std::int64_t every = 0;
    std::vector<std::uint64_t> offsets; // offsets[k]: line k * every + 1

    // The bytes [begin, end) that hold lines first..last (1 <= first <=
    // last <= rows), starting at the line `start` <= first at `begin`.
    struct Span {
        std::uint64_t begin = 0, end = 0;
        std::int64_t start = 0;
    };
    Span span(std::int64_t first, std::int64_t last) const;
    // Whether byte `at` of the file starts a line: a last guard against a
    // file changed in place where the checksum did not look.
    static bool starts_line(int fd, std::uint64_t at);
    // Whether the span's both ends start lines of the file.
    bool span_starts_lines(int fd, const Span& s) const
    {
        return starts_line(fd, s.begin) && (s.end == size || starts_line(fd, s.end));
    }
};

inline constexpr std::int64_t kReadsIndexEvery = 4096;
// Lines of the annotation and the fits are 20 to 200 bytes, 1,000 times
// fewer than the reads' rows: an offset every 128 lines keeps what a shard
// reads before and after its lines to a few kilobytes.
inline constexpr std::int64_t kTableIndexEvery = 128;

std::string line_index_path(const std::string& path);

// Reads the file and writes its index beside it (under a temporary name,
// renamed once whole): lines of `fields` fields, or (0) of as many as the
// first line has. Returns an empty string, or why no index could be made (a
// gzip file, a first line not of the layout); a file that cannot be read or
// written stops with status 2.
std::string write_line_index(const FileName& file, IndexFormat format, std::int64_t fields, std::int64_t every);

// The index of the opened file, when there is one and it belongs to the file,
// in this format, with lines of `fields` fields and at least `records` of
// them (`records_name` names that count in the warning: "num_exons"); nothing
// (after a warning, unless there is simply no index) otherwise, and for a
// gzip file or one that cannot seek.
std::optional<LineIndex> find_line_index(InputFile& file, IndexFormat format, std::int64_t fields,
                                         std::int64_t records, const std::string& records_name);

// The warning for an index found not to fit where a read would start.
void warn_index_offset(const InputFile& file, std::uint64_t offset);
