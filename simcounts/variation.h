// Between-sample variation and per-condition depths: the part of each
// sample column's rates that is neither structure nor a planted effect.
//
// Real samples differ from each other even where nothing was changed: an
// unchanged gene's true level varies by a random factor (--sample-cv), and
// so does each exon's share of its gene (--exon-cv). The factors are
// log-normal with mean 1 and the given coefficient of variation F (sigma^2 =
// ln(1 + F^2), mu = -sigma^2 / 2), independent per gene (exon) and sample
// column, so replicates of one condition differ by them too (without
// --replicates a column is a condition). An exon's factors are rescaled per
// column so that its gene's expected reads (shares weighted by exon length
// before scaling) stay those of the gene's level. They are noise a
// calibration must absorb, not planted effects: truth.tsv does not list
// them.
//
// Gene g's factors come from a stream of its own number, its exons' from
// another, drawn column after column, so a gene's factors never depend on
// the number of genes nor on whether the other option is set, and with both
// options at 0 no draw is made and the dataset is the one without them.
#pragma once

#include "simcounts/plan.h"

// Fills plan.gene_variation and plan.exon_variation (left empty for a
// coefficient of 0). Needs the plan's structure.
void plan_variation(const Settings& s, Plan& plan);
