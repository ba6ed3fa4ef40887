// The exonic parts of the genes: the union of the exons of all a gene's
// transcripts, cut at every transcript's exon boundary, so that every
// exonic position of a gene lies in exactly one part and a part lies wholly
// inside or wholly outside each exon. Each part becomes one exon of the
// count tables, in genomic order within its gene.
//
// A gene whose exons lie on more than one chromosome or strand (the
// pseudo-autosomal genes on chrX and chrY, say) becomes one gene per
// chromosome and strand, every piece named "gene_id@chromosome(strand)"
// with the strand as a word, "SHOX@chrX(plus)" (its name suffixed the same
// way), with one warning naming the first few; or, with
// FlattenOptions::refuse_split, the program stops (exit status 2).
//
// Genes (or such pieces) of the same chromosome and strand that share
// exonic positions are merged into one aggregate gene named by their ids
// joined with '+' (in order of their first exonic position), so that every
// position counts in one gene only; without merging, shared positions
// belong to each gene.
//
// A FlatGene's id and name are spelt as the tables write them: each
// member's id and name escaped by table_name (table_names.h) before the
// joining, so that the joined text splits back into the annotation's ids.
#pragma once

#include "bamcount/annotation.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct ExonicPart {
    std::int64_t start = 0; // 1-based, inclusive
    std::int64_t end = 0;
    std::vector<std::string> transcripts; // those with an exon over the part, sorted
    std::int64_t length() const { return end - start + 1; }
};

struct FlatGene {
    std::string id;   // the members joined with '+'
    std::string name; // the members' gene names, escaped, suffixed and joined the same way
    std::vector<std::string> members; // each gene's escaped id (a piece's with its piece_suffix)
    std::string chromosome;           // as the annotation spells it
    int chromosome_index = 0; // 1-based, in order of first appearance in the annotation
    char strand = '.';
    std::vector<ExonicPart> parts; // ascending, disjoint
    std::int64_t start() const { return parts.front().start; }
    std::int64_t end() const { return parts.back().end; }
    std::int64_t length() const;   // the sum of the parts' lengths
};

struct FlattenOptions {
    bool merge = true;
    std::set<std::string> keep_types; // empty: every gene type
    bool refuse_split = false;        // refuse genes on several chromosomes or strands rather than split them
};

// The genes in genomic order: chromosomes in order of first appearance,
// then by first exonic position (ties by id).
std::vector<FlatGene> flatten_genes(const std::vector<ExonRecord>& exons, const FlattenOptions& options);

// The chromosome names in the order of their indices (index k at k - 1).
std::vector<std::string> chromosome_order(const std::vector<ExonRecord>& exons);
