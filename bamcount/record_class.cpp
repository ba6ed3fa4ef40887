#include "bamcount/record_class.h"

#include <htslib/sam.h>

const char* const kReasonNames[kReasons] = {
    "assigned",      "no_feature", "ambiguous_strand", "low_mapping_quality",       "multi_mapping", "secondary",
    "supplementary", "duplicate",  "qc_failed",        "unmapped", "second_mate"};

Reason filter_record(const RecordFields& r, const RecordRules& rules)
{
    const std::uint16_t flag = r.flag;
    if (flag & BAM_FUNMAP) return kUnmapped;
    if (flag & BAM_FSECONDARY) return kSecondary;
    if (flag & BAM_FSUPPLEMENTARY) return kSupplementary;
    if (flag & BAM_FQCFAIL) return kQcFailed;
    if ((flag & BAM_FDUP) && !rules.keep_duplicates) return kDuplicate;
    // A fragment counts once, at its first mate (or not at all); its
    // coverage is both mates'.
    if (!rules.coverage && (flag & BAM_FPAIRED) && !(flag & BAM_FREAD1) && !(flag & BAM_FMUNMAP)) return kSecondMate;
    if (r.mapping_quality < rules.min_mapq) return kLowMappingQuality;
    if (rules.unique_only && r.alignments > 1) return kMultiMapping;
    return kAssigned;
}

Reason placement(bool counted, bool ambiguous)
{
    return counted ? kAssigned : ambiguous ? kAmbiguousStrand : kNoFeature;
}

char gene_strand(std::uint16_t flag, Strandedness strandedness)
{
    // A second mate stands for its fragment, whose strand is the first
    // mate's, the opposite of its own.
    const bool second_mate = (flag & BAM_FPAIRED) && !(flag & BAM_FREAD1);
    const bool fragment_reverse = ((flag & BAM_FREVERSE) != 0) != second_mate;
    switch (strandedness) {
    case Strandedness::unstranded: return '.';
    case Strandedness::forward: return fragment_reverse ? '-' : '+';
    case Strandedness::reverse: return fragment_reverse ? '+' : '-';
    }
    return '.';
}
