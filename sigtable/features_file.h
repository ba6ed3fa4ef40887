// features.tsv, which bamcount writes beside its count tables: what each
// gene and exon number of the tables is in the annotation.
//
// A header line whose first cell is "kind", then one line per feature of
// tab-separated cells. bamcount writes
//   kind index gene_id gene_name chromosome start end strand transcripts gene_index length
// where index is the number of the tables (exon_zb's or gene_zb's first
// column), gene_index an exon's gene (a gene's own index) and length the
// feature's length as in exon_zb and gene_zb. Files of older runs have the
// first nine cells alone (then named kind id gene gene_name ...); they are
// read without gene_index and length, which a header ending in
// "gene_index<TAB>length" asks for.
//
// A kind that is not gene or exon, an index that is not an integer, a
// coordinate, gene_index or length that is not a non-negative integer, a
// strand other than +, - or ., or a line short of fields stops the program
// with one message naming the file, the line and the field (exit status 2);
// so do a folder and a file that cannot be read. Blank lines are skipped.
#pragma once

#include "cli/diag.h"

#include <cstdint>
#include <map>
#include <string>

struct Feature {
    std::string gene_id, gene_name, chromosome, start, end, strand;
    std::int32_t gene_index = 0; // with lengths only
    std::int64_t length = 0;     // with lengths only
};

struct Features {
    FileName file;
    bool given = false;
    bool with_lengths = false; // the file has the gene_index and length columns
    std::map<std::int32_t, Feature> genes, exons; // by index
};

Features read_features(const std::string& path);

// A feature's cells in the tables: "\t" before each of its gene_id,
// gene_name, chromosome, start, end and strand, or six NA where the file
// has no such feature. `gene`: id is a gene's index, else an exon's.
std::string feature_cells(const Features& features, bool gene, std::int32_t id);
