// The shared tables of the pipeline: the files every program reads or
// writes, read in large blocks into the 1-based arrays with one-line
// refusals that name the file, line and field, and written whole under a
// temporary name or not at all. The count table and its annotation
// (tables.h), the result files (fitrecords.h), the totals file (totals.h),
// and the text files beneath them (textin.h, textout.h); and the three
// programs' command-line rules: default sizes and seed (run_settings.h),
// --genes and --streams (run_options.h), their start (program_start.h).
// Above the numeric core and the command line; below the programs.
//
// This header: loading of the inputs that every program reads, in the fixed
// order reads file, exon_zb, gene_zb (and, for the testing programs,
// gene_re and exon_re), each closed once read and announced by its progress
// line on standard output.
#pragma once

#include "cli/intake.h"
#include "tables/fitrecords.h"
#include "tables/run_options.h"
#include "tables/tables.h"
#include "tables/textin.h"
#include "tables/textout.h"
#include "tables/totals.h"

#include <cstdint>

// The first seven arguments every program takes, in order: num_reads,
// num_conditions, the reads file, num_exons, exon_zb, num_genes, gene_zb;
// each file opened as its name is taken.
struct DatasetFiles {
    InputFile reads;
    InputFile exon_zb;
    InputFile gene_zb;
};

DatasetFiles take_dataset_arguments(ArgSource& source, TableSizes& sizes);

// gene_re, then exon_re, as the testing programs take them.
struct FitResultFiles {
    InputFile gene_re;
    InputFile exon_re;
};

FitResultFiles take_fit_result_arguments(ArgSource& source);

// A dataset: the count table with the annotation tables that group its rows
// into exons and its exons into genes.
struct Dataset {
    CountTable counts;
    ExonTable exons;
    GeneTable genes;
};

// With `require_exon_order`, gene_zb must list every exon once, in order.
// For a given shard of genes, when gene_zb and exon_zb have indexes that
// belong to them (line_index.h), only the shard's genes and their exons are
// read and held; when the reads file has one, only the rows of those exons.
// The annotation is then read first, as it says which rows to read;
// otherwise the whole reads file is read, then the whole annotation.
Dataset load_dataset(DatasetFiles& files, const TableSizes& sizes, bool require_exon_order = false,
                     const GeneShard& shard = {});

struct FitResults {
    FitTable genes;
    FitTable exons;
};

// For a given shard, each file with an index that belongs to it gives only
// the shard's genes' lines (gene_re) and their exons' (exon_re).
FitResults load_fit_results(FitResultFiles& files, const TableSizes& sizes, const Dataset& data,
                            const GeneShard& shard = {});

// The tables both testing programs compare: a dataset's and its genes' fits,
// by reference; each program's inputs add what its own tests need.
struct ComparedTables {
    const CountTable& counts;
    const ExonTable& exons;
    const GeneTable& genes;
    const FitTable& gene_fits;
};
