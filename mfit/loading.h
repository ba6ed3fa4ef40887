// Loading of the inputs that every program reads, in the fixed order reads
// file, exon_zb, gene_zb (and, for the testing programs, gene_re and exon_re),
// each closed once read and announced by its progress line on standard output.
#pragma once

#include "fitrecords.h"
#include "tables.h"
#include "textin.h"

#include <cstdint>

struct TableSizes {
    std::int32_t num_reads = 0;
    std::int32_t num_conditions = 0;
    std::int32_t num_exons = 0;
    std::int32_t num_genes = 0;
};

struct Annotation {
    CountTable counts;
    ExonTable exons;
    GeneTable genes;
};

// With `require_exon_order`, gene_zb must list every exon once, in order.
Annotation load_annotation(InputFile& reads, InputFile& exon_zb, InputFile& gene_zb, const TableSizes& sizes,
                           bool require_exon_order = false);

struct FitResults {
    FitTable genes;
    FitTable exons;
};

FitResults load_fit_results(InputFile& gene_re, InputFile& exon_re, const TableSizes& sizes);
