// Alignment files made in tests: SAM text written out as BAM or CRAM with
// htslib, so that a test states its records as readable lines.
#pragma once

#include "tests/support/run.h"

#include <string>

// Writes `sam` (header and records) into `dir` as `<name>.bam`, or as
// `<name>.cram` compressed against the FASTA file `fasta`; returns its path.
std::string write_alignments(const ScratchDir& dir, const std::string& name, const std::string& sam,
                             const std::string& fasta = "");
