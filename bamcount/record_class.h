// Which alignment records count, and why the others do not: the decision
// bamcount makes from a record's own fields (its flag, mapping quality and
// NH tag) before its position is looked up in the annotation, and the
// strand of genes the record's fragment counts in.
//
// A fragment counts once, at its first mate (or at its second when the
// first is unmapped); in coverage mode every aligned base of both mates
// counts instead.
#pragma once

#include <cstdint>

enum class Strandedness { unstranded, forward, reverse };

// Why a record was or was not counted; every record gets exactly one.
enum Reason {
    kAssigned,
    kNoFeature,
    kAmbiguousStrand,
    kLowMappingQuality,
    kMultiMapping,
    kSecondary,
    kSupplementary,
    kDuplicate,
    kQcFailed,
    kUnmapped,
    kSecondMate, // a pair's second mate whose first mate is mapped: the fragment counts, or not, at the first
    kReasons
};
// The reasons as summary.tsv and standard output name them.
extern const char* const kReasonNames[kReasons];

// The options that decide which records count.
struct RecordRules {
    int min_mapq = 0;
    bool unique_only = true;     // skip records whose NH tag says more than one alignment
    bool keep_duplicates = false;
    bool coverage = false;
    Strandedness strandedness = Strandedness::unstranded;
};

// What of a record the decision reads.
struct RecordFields {
    std::uint16_t flag = 0;      // the SAM flag's bits (BAM_F* of htslib)
    int mapping_quality = 0;
    std::int64_t alignments = 1; // the NH tag's value; 1 without the tag
};

// kAssigned for a record that goes on to be placed on the annotation, else
// the first reason it is not counted of: unmapped, secondary,
// supplementary, QC-failed, duplicate, second mate, low mapping quality,
// multi-mapping.
Reason filter_record(const RecordFields& record, const RecordRules& rules);

// A placed record's reason: counted somewhere, or else not counted because
// genes of both strands met it without a protocol, or because no gene did.
Reason placement(bool counted, bool ambiguous);

// The strand of genes a record's fragment counts in: '+' or '-' with a
// stranded protocol, '.' (either) without one. The fragment's strand is its
// first mate's, the opposite of a second mate's own.
char gene_strand(std::uint16_t flag, Strandedness strandedness);
