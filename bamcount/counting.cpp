#include "counting.h"

#include "progress.h"

#include <htslib/bgzf.h>
#include <htslib/hts.h>
#include <htslib/sam.h>
#include <htslib/thread_pool.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>
#include <sys/stat.h>

const char* const kReasonNames[kReasons] = {
    "assigned",      "no_feature", "ambiguous_strand", "low_mapping_quality",       "multi_mapping", "secondary",
    "supplementary", "duplicate",  "qc_failed",        "unmapped", "mate_of_counted_fragment"};

namespace {

// htslib's handles, each released once.
struct Handles {
    samFile* file = nullptr;
    sam_hdr_t* header = nullptr;
    bam1_t* record = nullptr;
    htsThreadPool pool{nullptr, 0};
    ~Handles()
    {
        if (record) bam_destroy1(record);
        if (header) sam_hdr_destroy(header);
        if (file) sam_close(file);
        if (pool.pool) hts_tpool_destroy(pool.pool);
    }
};

// The strand of genes a fragment counts in.
char gene_strand(bool fragment_reverse, Strandedness s)
{
    switch (s) {
    case Strandedness::unstranded: return '.';
    case Strandedness::forward: return fragment_reverse ? '-' : '+';
    case Strandedness::reverse: return fragment_reverse ? '+' : '-';
    }
    return '.';
}

class Counter {
public:
    explicit Counter(const CountLayout& layout) : layout_(layout), dense_(layout.positions(), 0) {}

    // Counts at one position; returns whether anything was counted and sets
    // `ambiguous` when genes of both strands were met without a protocol.
    bool add(int chromosome, std::int64_t position, char strand, bool& ambiguous)
    {
        offsets_.clear();
        int strands = 0;
        layout_.offsets_at(chromosome, position, strand, offsets_, strands);
        if (strand == '.' && (strands & 3) == 3) {
            ambiguous = true;
            return false;
        }
        for (std::uint32_t o : offsets_)
            if (dense_[o] < static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) ++dense_[o];
        return !offsets_.empty();
    }

    std::vector<std::pair<std::uint32_t, std::int32_t>> nonzero() const
    {
        std::vector<std::pair<std::uint32_t, std::int32_t>> out;
        for (std::uint32_t o = 0; o < dense_.size(); ++o)
            if (dense_[o] != 0) out.emplace_back(o, static_cast<std::int32_t>(dense_[o]));
        return out;
    }

private:
    const CountLayout& layout_;
    std::vector<std::uint32_t> dense_;
    std::vector<std::uint32_t> offsets_;
};

} // namespace

ConditionCounts count_alignments(const FileName& name, const CountLayout& layout, const CountSettings& settings)
{
    Handles h;
    h.file = sam_open(name.path.c_str(), "r");
    if (!h.file) fail_open(name, "open", errno ? errno : EINVAL);
    if (settings.threads > 1) {
        h.pool.pool = hts_tpool_init(settings.threads);
        if (h.pool.pool) hts_set_opt(h.file, HTS_OPT_THREAD_POOL, &h.pool);
    }
    if (!settings.reference.empty() && hts_set_fai_filename(h.file, settings.reference.c_str()) != 0)
        fail_input("cannot use the reference '" + settings.reference + "' for " + describe(name));
    h.header = sam_hdr_read(h.file);
    if (!h.header) fail_input("cannot read " + describe(name) + ": not a SAM, BAM or CRAM file with a header");

    // The file's references as annotation chromosomes.
    const int targets = sam_hdr_nref(h.header);
    std::vector<int> chromosome(static_cast<std::size_t>(targets), 0);
    int matched = 0;
    for (int t = 0; t < targets; ++t) {
        chromosome[static_cast<std::size_t>(t)] = layout.chromosome_index(sam_hdr_tid2name(h.header, t));
        if (chromosome[static_cast<std::size_t>(t)] != 0) ++matched;
    }
    if (matched == 0 && targets > 0) {
        std::string names;
        for (int t = 0; t < targets && t < 3; ++t) names += std::string(t ? ", " : "") + sam_hdr_tid2name(h.header, t);
        const std::string annotated = layout.genes().empty() ? "" : layout.genes().front().chromosome;
        fail_input(describe(name) + ": none of its " + std::to_string(targets) + " reference names (" + names +
                   (targets > 3 ? ", ..." : "") + ") is a chromosome of the annotation (such as '" + annotated +
                   "'); the names must be spelt the same in both");
    }

    struct stat st {};
    const bool bytes_known = h.file->format.format == bam && ::stat(name.path.c_str(), &st) == 0;
    std::optional<ProgressLine> progress;
    if (bytes_known) progress.emplace(static_cast<long>(st.st_size >> 20), "MiB of " + name.path);

    Counter counter(layout);
    ConditionCounts result;
    h.record = bam_init1();
    std::uint64_t records = 0;
    int status;
    while ((status = sam_read1(h.file, h.header, h.record)) >= 0) {
        ++records;
        if (progress && (records & 0xffff) == 0) progress->update(static_cast<long>(bgzf_tell(h.file->fp.bgzf) >> 36));
        const bam1_core_t& c = h.record->core;
        const std::uint16_t flag = c.flag;
        Reason reason = kAssigned;
        if (flag & BAM_FUNMAP) reason = kUnmapped;
        else if (flag & BAM_FSECONDARY) reason = kSecondary;
        else if (flag & BAM_FSUPPLEMENTARY) reason = kSupplementary;
        else if (flag & BAM_FQCFAIL) reason = kQcFailed;
        else if ((flag & BAM_FDUP) && !settings.keep_duplicates) reason = kDuplicate;
        // A fragment counts once, at its first mate; its coverage is both mates'.
        else if (!settings.coverage && (flag & BAM_FPAIRED) && !(flag & BAM_FREAD1) && !(flag & BAM_FMUNMAP))
            reason = kMateOfCountedFragment;
        else if (c.qual < settings.min_mapq) reason = kLowMappingQuality;
        else if (settings.unique_only) {
            if (const std::uint8_t* nh = bam_aux_get(h.record, "NH"); nh && bam_aux2i(nh) > 1) reason = kMultiMapping;
        }
        if (reason == kAssigned) {
            const bool reverse = (flag & BAM_FREVERSE) != 0;
            // A second mate stands for its fragment, whose strand is the
            // first mate's, the opposite of its own.
            const bool second_alone = (flag & BAM_FPAIRED) && !(flag & BAM_FREAD1);
            const char strand = gene_strand(reverse != second_alone, settings.strandedness);
            const int chrom = c.tid >= 0 && c.tid < targets ? chromosome[static_cast<std::size_t>(c.tid)] : 0;
            bool ambiguous = false, counted = false;
            if (!settings.coverage) {
                const std::int64_t five_prime = reverse ? bam_endpos(h.record) : c.pos + 1;
                counted = counter.add(chrom, five_prime, strand, ambiguous);
                result.counted += counted;
            } else {
                const std::uint32_t* cigar = bam_get_cigar(h.record);
                std::int64_t ref = c.pos + 1;
                for (std::uint32_t k = 0; k < c.n_cigar; ++k) {
                    const int op = bam_cigar_op(cigar[k]);
                    const std::int64_t len = bam_cigar_oplen(cigar[k]);
                    if (op == BAM_CMATCH || op == BAM_CEQUAL || op == BAM_CDIFF) {
                        for (std::int64_t p = ref; p < ref + len; ++p) {
                            bool base_ambiguous = false;
                            if (counter.add(chrom, p, strand, base_ambiguous)) {
                                counted = true;
                                ++result.counted;
                            }
                            ambiguous |= base_ambiguous;
                        }
                    }
                    if (bam_cigar_type(op) & 2) ref += len;
                }
            }
            reason = counted ? kAssigned : ambiguous ? kAmbiguousStrand : kNoFeature;
        }
        ++result.records[reason];
    }
    if (status < -1) fail_input("cannot read " + describe(name) + ": a record is truncated or malformed");
    if (progress) progress->finish();
    result.nonzero = counter.nonzero();
    return result;
}
