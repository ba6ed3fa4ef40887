// Genes of the annotation that no counted feature reaches: an annotation
// whose genes hold CDS but no exon lines (NCBI's bacterial GFF3 files, say)
// counts nothing for them under the default feature type, and the user is
// told which type their features have instead.
#pragma once

#include "bamcount/annotation.h"

#include <set>
#include <string>

// Warns, in one line, of the genes of gene lines whose type is kept
// (`keep_types`, empty for all) that no feature of the counted type
// `feature_type` reaches: how many, the first few, and the type their other
// features most often have. Nothing when there are none.
void warn_uncounted_genes(const Annotation& annotation, const std::set<std::string>& keep_types,
                          const std::string& feature_type);

// Why nothing can be counted, for the refusal of an annotation none of
// whose genes of a kept type has a feature of the counted type: "no 'exon'
// feature of a kept gene type", with the type to count instead when the
// genes' features show one.
std::string nothing_counted(const Annotation& annotation, const std::set<std::string>& keep_types,
                            const std::string& feature_type);
