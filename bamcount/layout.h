// Where every exonic position of the flattened genes sits in the count
// tables, and which positions a read's genomic position falls on.
//
// Positions are numbered by one offset running through the genes in table
// order, their parts in order and the part's bases in order, so that the
// rows of the reads file, written in offset order, come grouped by gene and
// part as the tables need. Without merging, a genomic position shared by
// several genes has an offset in each.
#pragma once

#include "bamcount/flatten.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class CountLayout {
public:
    explicit CountLayout(std::vector<FlatGene> genes);

    const std::vector<FlatGene>& genes() const { return genes_; }
    // Exonic positions of all genes: the offsets run from 0 to this - 1.
    std::uint32_t positions() const { return positions_; }
    // Offset of the first base of part p (0-based) of gene g (0-based).
    std::uint32_t part_offset(std::size_t g, std::size_t p) const { return part_offsets_[g][p]; }

    // The offsets at 1-based `position` of `chromosome` (an annotation
    // chromosome index) in genes of strand `strand` ('+', '-', or '.' for
    // any), appended to `out`. `strands` gets a bit per gene strand met
    // there, whatever `strand` asks for: 1 for '+', 2 for '-', 4 for '.'.
    void offsets_at(int chromosome, std::int64_t position, char strand, std::vector<std::uint32_t>& out,
                    int& strands) const;

    // The annotated positions of `chromosome` from `first` to `last`
    // (1-based, inclusive), whatever their genes' strands, as runs of
    // consecutive positions (first, last) appended to `out` in ascending
    // order. The time taken follows the parts met, not the span asked for.
    void annotated_runs(int chromosome, std::int64_t first, std::int64_t last,
                        std::vector<std::pair<std::int64_t, std::int64_t>>& out) const;

    // The annotation's chromosome index of a name, or 0.
    int chromosome_index(const std::string& name) const;

private:
    struct Interval {
        std::int64_t start, end;
        std::int64_t reach; // the largest end of this and every earlier interval
        std::uint32_t offset;
        char strand;
    };
    std::vector<FlatGene> genes_;
    std::vector<std::vector<std::uint32_t>> part_offsets_;
    std::uint32_t positions_ = 0;
    std::vector<std::vector<Interval>> intervals_; // by chromosome index - 1, sorted by start
    std::unordered_map<std::string, int> chromosome_;
};
