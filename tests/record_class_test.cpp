// Which alignment records bamcount counts, and why not the others, from
// their flag, mapping quality and NH tag alone; and the strand of genes a
// fragment counts in. The whole files of bamcount_e2e_test count through
// these; here every reason and its precedence is met on its own.
#include "bamcount/record_class.h"

#include <htslib/sam.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// Paired-end flags.
constexpr std::uint16_t kPairedFirst = BAM_FPAIRED | BAM_FREAD1;
constexpr std::uint16_t kPairedSecond = BAM_FPAIRED | BAM_FREAD2;

RecordRules rules_with(int min_mapq, bool unique_only, bool keep_duplicates, bool coverage)
{
    RecordRules r;
    r.min_mapq = min_mapq;
    r.unique_only = unique_only;
    r.keep_duplicates = keep_duplicates;
    r.coverage = coverage;
    return r;
}

} // namespace

TEST(RecordClass, EveryReasonAndWhichComesFirst)
{
    const RecordRules plain = rules_with(0, true, false, false);
    const RecordRules mapq10 = rules_with(10, true, false, false);
    const RecordRules multi = rules_with(0, false, false, false);
    const RecordRules duplicates = rules_with(0, true, true, false);
    const RecordRules coverage = rules_with(0, true, false, true);
    const struct {
        const char* what;
        RecordFields record;
        RecordRules rules;
        Reason reason;
    } cases[] = {
        {"single-end, forward", {0, 0, 1}, plain, kAssigned},
        {"single-end, reverse", {BAM_FREVERSE, 60, 1}, plain, kAssigned},
        {"unmapped", {BAM_FUNMAP, 0, 1}, plain, kUnmapped},
        {"secondary", {BAM_FSECONDARY, 60, 1}, plain, kSecondary},
        {"supplementary", {BAM_FSUPPLEMENTARY, 60, 1}, plain, kSupplementary},
        {"QC failed", {BAM_FQCFAIL, 60, 1}, plain, kQcFailed},
        {"duplicate", {BAM_FDUP, 60, 1}, plain, kDuplicate},
        {"duplicate, kept", {BAM_FDUP, 60, 1}, duplicates, kAssigned},
        {"mapping quality below", {0, 9, 1}, mapq10, kLowMappingQuality},
        {"mapping quality at the least", {0, 10, 1}, mapq10, kAssigned},
        {"NH 2", {0, 60, 2}, plain, kMultiMapping},
        {"NH 2, --multi", {0, 60, 2}, multi, kAssigned},
        {"NH 0", {0, 60, 0}, plain, kAssigned},
        // Pairs: the fragment counts at the first mate, or at the second
        // when the first is unmapped; in coverage mode at both.
        {"first mate", {kPairedFirst | BAM_FMREVERSE, 60, 1}, plain, kAssigned},
        {"second mate", {kPairedSecond | BAM_FREVERSE, 60, 1}, plain, kSecondMate},
        {"second mate, first unmapped", {kPairedSecond | BAM_FMUNMAP, 60, 1}, plain, kAssigned},
        {"second mate, coverage", {kPairedSecond, 60, 1}, coverage, kAssigned},
        {"first mate, mate unmapped", {kPairedFirst | BAM_FMUNMAP, 60, 1}, plain, kAssigned},
        // The first reason in the summary's order wins.
        {"unmapped and secondary", {BAM_FUNMAP | BAM_FSECONDARY, 0, 1}, plain, kUnmapped},
        {"secondary and supplementary", {BAM_FSECONDARY | BAM_FSUPPLEMENTARY, 60, 1}, plain, kSecondary},
        {"supplementary and QC failed", {BAM_FSUPPLEMENTARY | BAM_FQCFAIL, 60, 1}, plain, kSupplementary},
        {"QC failed and duplicate", {BAM_FQCFAIL | BAM_FDUP, 60, 1}, plain, kQcFailed},
        {"duplicate second mate", {kPairedSecond | BAM_FDUP, 60, 1}, plain, kDuplicate},
        {"second mate of low quality", {kPairedSecond, 0, 1}, mapq10, kSecondMate},
        {"low quality and multi-mapping", {0, 0, 3}, mapq10, kLowMappingQuality},
        {"unmapped multi-mapping", {BAM_FUNMAP, 0, 3}, plain, kUnmapped},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kReasonNames[filter_record(c.record, c.rules)], std::string(kReasonNames[c.reason])) << c.what;

    EXPECT_EQ(placement(true, false), kAssigned);
    EXPECT_EQ(placement(true, true), kAssigned); // counted at some base of its coverage
    EXPECT_EQ(placement(false, true), kAmbiguousStrand);
    EXPECT_EQ(placement(false, false), kNoFeature);
}

TEST(RecordClass, FragmentStrandIsTheFirstMatesTurnedByTheProtocol)
{
    const struct {
        const char* what;
        std::uint16_t flag;
        char forward, reverse; // the genes' strand under each protocol
    } cases[] = {
        {"single-end, forward", 0, '+', '-'},
        {"single-end, reverse", BAM_FREVERSE, '-', '+'},
        {"first mate, forward", kPairedFirst, '+', '-'},
        {"first mate, reverse", kPairedFirst | BAM_FREVERSE, '-', '+'},
        // A second mate stands for its fragment: the strand opposite its own.
        {"second mate, forward", kPairedSecond, '-', '+'},
        {"second mate, reverse", kPairedSecond | BAM_FREVERSE, '+', '-'},
        // The mate's own orientation plays no part.
        {"first mate, mate reverse", kPairedFirst | BAM_FMREVERSE, '+', '-'},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gene_strand(c.flag, Strandedness::unstranded), '.') << c.what;
        EXPECT_EQ(gene_strand(c.flag, Strandedness::forward), c.forward) << c.what;
        EXPECT_EQ(gene_strand(c.flag, Strandedness::reverse), c.reverse) << c.what;
    }
}
