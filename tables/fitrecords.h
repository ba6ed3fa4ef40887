// The exon and gene result files (exon_re, gene_re): one line per feature, a
// few leading integers and then one field group per condition,
//   " lambda poisson_lambda 1 theta"   for a converged fit ("%.6f"),
//   " NA poisson_lambda 0 NA"          for a failed one.
// mfit writes them; lvcmp and isocmp read them back, matching line k to
// feature k by position alone.
#pragma once

#include "numcore/arrays.h"
#include "numcore/mfitmle.h"
#include "tables/part_arrays.h"
#include "tables/tables.h"
#include "tables/textin.h"
#include "tables/textout.h"

#include <cstdint>

// Appends the field group of one condition to the line being written.
void write_field_group(LineBuffer& out, const FitRecord& fit);

// The fit records of every feature in every condition, [1..features][1..conditions],
// or of the features read.
struct FitTable {
    PartMatrix<double> lambda, poisson_lambda, theta;
    PartMatrix<int> converged;

    FitRecord at(std::int64_t feature, std::int64_t condition) const
    {
        return {converged[feature][condition], lambda[feature][condition], theta[feature][condition],
                poisson_lambda[feature][condition]};
    }
};

// Reads `features` lines of a result file: `leading` skipped integers, then
// the groups of `conditions` conditions; closes the file. NA is taken only for
// lambda and theta of a failed fit (stored as not-a-number, never used);
// converged must be 0 or 1, and a converged fit must carry both values.
// `feature_kind` ("gene" or "exon") names the record in messages.
FitTable read_fit_table(InputFile& file, std::int32_t features, std::int32_t conditions, int leading,
                        std::string_view feature_kind);
// The features of the window only (tables.h), of a file laid out one
// feature per line.
FitTable read_fit_part(InputFile& file, std::int32_t conditions, int leading, std::string_view feature_kind,
                       const RowWindow& window);
