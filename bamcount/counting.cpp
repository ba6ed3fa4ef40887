#include "bamcount/counting.h"

#include "cli/progress.h"

#include <htslib/bgzf.h>
#include <htslib/faidx.h>
#include <htslib/hts.h>
#include <htslib/sam.h>
#include <htslib/thread_pool.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// htslib's handles, each released once. A refusal releases them before it
// ends the process: std::exit runs no destructor of a local, LeakSanitizer
// would count whatever they hold, and decompression threads still working
// on the file while the exit handlers tear the process down can crash it.
//
// While htslib reads a CRAM file, standard error is silenced: looking for
// the reference a CRAM names in its header, htslib writes lines of its own
// with perror ("/refs/chr1.fa: No such file or directory"), which no log
// level governs, one for each attempt; a refusal would then be several
// lines, not one of ours. Standard error comes back once the file is
// closed and the pool's threads are gone, before any message of ours.
struct Handles {
    samFile* file = nullptr;
    sam_hdr_t* header = nullptr;
    bam1_t* record = nullptr;
    htsThreadPool pool{nullptr, 0};
    int standard_error = -1; // standard error's own descriptor while silenced
    Handles() = default;
    Handles(const Handles&) = delete;
    Handles& operator=(const Handles&) = delete;
    ~Handles() { release(); }

    void silence_standard_error()
    {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null < 0) return; // htslib's lines then show, nothing worse
        std::fflush(stderr);
        standard_error = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
        if (standard_error >= 0) ::dup2(null, STDERR_FILENO);
        ::close(null);
    }

    // The file goes before the pool its threads belong to.
    void release()
    {
        if (record) bam_destroy1(record);
        if (header) sam_hdr_destroy(header);
        if (file) sam_close(file);
        if (pool.pool) hts_tpool_destroy(pool.pool);
        record = nullptr;
        header = nullptr;
        file = nullptr;
        pool.pool = nullptr;
        if (standard_error >= 0) {
            ::dup2(standard_error, STDERR_FILENO);
            ::close(standard_error);
            standard_error = -1;
        }
    }

    // Releases the handles, then stops the program with `text`.
    [[noreturn]] void refuse(const std::string& text)
    {
        release();
        fail_input(text);
    }
};

// Why the FASTA file at `path` cannot serve as a CRAM file's reference, or
// nothing. htslib, handed a reference it cannot use, drops the CRAM
// handle's list of references without freeing it: the file is opened and
// indexed (the index made when missing, as htslib would) here first, so
// that such a reference is refused before the handle sees it.
std::string reference_problem(const std::string& path)
{
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) std::fclose(f);
    else return std::strerror(errno ? errno : ENOENT);
    faidx_t* index = fai_load3(path.c_str(), nullptr, nullptr, FAI_CREATE);
    if (!index) return "it is not a FASTA file, plain or bgzip-compressed, whose index can be read or made";
    fai_destroy(index);
    return {};
}

// The words of every refusal of a file cut short or damaged.
const char kTruncated[] = ": the file is truncated or damaged";

// How far a file decodes on one thread: the records read, and whether a
// failure rather than the file's end stopped them.
struct Decoded {
    std::uint64_t records = 0;
    bool failed = false;
};

// Decodes up to `limit` records of the file at `path`, with the reference
// FASTA `reference` (none when empty) and, when `fields` is not 0, only
// those fields of every record (SAM_FLAG and the like).
Decoded decode(const std::string& path, const std::string& reference, int fields, std::uint64_t limit)
{
    Handles h;
    Decoded d;
    d.failed = true;
    h.file = sam_open(path.c_str(), "r");
    if (!h.file) return d;
    if (h.file->is_cram) h.silence_standard_error();
    if (!reference.empty() && hts_set_fai_filename(h.file, reference.c_str()) != 0) return d;
    if (fields != 0 && hts_set_opt(h.file, CRAM_OPT_REQUIRED_FIELDS, fields) != 0) return d;
    h.header = sam_hdr_read(h.file);
    if (!h.header) return d;
    h.record = bam_init1();
    int status = 0;
    while (d.records < limit && (status = sam_read1(h.file, h.header, h.record)) >= 0) ++d.records;
    d.failed = status < -1;
    return d;
}

// The refusal of a file whose records stopped decoding. A CRAM file may
// have failed for want of the reference its bases are compressed against
// rather than from damage: then, read on one thread, it fails at some
// record with its bases and decodes past that record without them (the
// fields that counting uses need no reference). With threads a failure can
// surface records before the one that fails, so the failing record is
// found anew on one thread; this costs a second reading up to it, on the
// way to a refusal only.
std::string undecodable(const FileName& name, const CountSettings& settings, bool is_cram)
{
    const std::string what = "cannot read " + describe(name);
    if (is_cram) {
        const Decoded whole = decode(name.path, settings.reference, 0, std::numeric_limits<std::uint64_t>::max());
        constexpr int kCountedFields = SAM_FLAG | SAM_RNAME | SAM_POS | SAM_MAPQ | SAM_CIGAR | SAM_AUX;
        const Decoded no_bases =
            whole.failed ? decode(name.path, "", kCountedFields, whole.records + 1) : Decoded{0, true};
        if (!no_bases.failed && no_bases.records > whole.records) {
            if (settings.reference.empty())
                return what + ": the reference sequence its bases are compressed against cannot be found; name "
                              "its FASTA file with --reference";
            return what + ": the reference '" + settings.reference +
                   "' given with --reference lacks the sequence its bases are compressed against, or holds another";
        }
    }
    return what + kTruncated + " (a compressed block or a record cannot be read)";
}

// The counts of one condition at the layout's positions, dense while the
// file is read.
class Counter {
public:
    explicit Counter(const CountLayout& layout) : layout_(layout), dense_(layout.positions(), 0) {}

    // Counts a record that passed the filters, on annotation chromosome
    // `chromosome` (0 for none) in genes of strand `strand`: at its 5' end,
    // or in coverage mode at every annotated base of its aligned blocks.
    // Returns its reason (kAssigned, kAmbiguousStrand or kNoFeature) and
    // adds the positions counted to `counted`.
    Reason place(const bam1_t* record, int chromosome, char strand, bool coverage, std::uint64_t& counted)
    {
        bool ambiguous = false, any = false;
        if (!coverage) {
            const bam1_core_t& c = record->core;
            const std::int64_t five_prime = (c.flag & BAM_FREVERSE) ? bam_endpos(record) : c.pos + 1;
            any = add(chromosome, five_prime, strand, ambiguous);
            counted += any;
        } else {
            any = add_coverage(record, chromosome, strand, ambiguous, counted);
        }
        return placement(any, ambiguous);
    }

    std::vector<std::pair<std::uint32_t, std::int32_t>> nonzero() const
    {
        std::vector<std::pair<std::uint32_t, std::int32_t>> out;
        for (std::uint32_t o = 0; o < dense_.size(); ++o)
            if (dense_[o] != 0) out.emplace_back(o, static_cast<std::int32_t>(dense_[o]));
        return out;
    }

private:
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

    // Only the annotated bases of each aligned block are visited: a CIGAR
    // may claim far more bases than the reference has, and the others
    // count nowhere.
    bool add_coverage(const bam1_t* record, int chromosome, char strand, bool& ambiguous, std::uint64_t& counted)
    {
        const bam1_core_t& c = record->core;
        const std::uint32_t* cigar = bam_get_cigar(record);
        bool any = false;
        std::int64_t ref = c.pos + 1;
        for (std::uint32_t k = 0; k < c.n_cigar; ++k) {
            const int op = bam_cigar_op(cigar[k]);
            const std::int64_t len = bam_cigar_oplen(cigar[k]);
            if (len > 0 && (op == BAM_CMATCH || op == BAM_CEQUAL || op == BAM_CDIFF)) {
                runs_.clear();
                layout_.annotated_runs(chromosome, ref, ref + len - 1, runs_);
                for (const auto& [first, last] : runs_)
                    for (std::int64_t p = first; p <= last; ++p) {
                        bool base_ambiguous = false;
                        if (add(chromosome, p, strand, base_ambiguous)) {
                            any = true;
                            ++counted;
                        }
                        ambiguous |= base_ambiguous;
                    }
            }
            if (bam_cigar_type(op) & 2) ref += len;
        }
        return any;
    }

    const CountLayout& layout_;
    std::vector<std::uint32_t> dense_;
    std::vector<std::uint32_t> offsets_;
    std::vector<std::pair<std::int64_t, std::int64_t>> runs_;
};

// The fields the filters read. The NH tag is looked for only where it
// decides something.
RecordFields fields_of(const bam1_t* record, bool unique_only)
{
    RecordFields fields{record->core.flag, record->core.qual, 1};
    if (unique_only)
        if (const std::uint8_t* nh = bam_aux_get(record, "NH")) fields.alignments = bam_aux2i(nh);
    return fields;
}

// Opens the file and reads its header, refusing a file cut short or a
// reference that cannot serve; the decompression threads start last.
void open_alignments(Handles& h, const FileName& name, const CountSettings& settings)
{
    h.file = sam_open(name.path.c_str(), "r");
    if (!h.file) fail_open(name, "open", errno ? errno : EINVAL);
    const bool is_cram = h.file->is_cram;
    if (is_cram) h.silence_standard_error();
    // A BAM or CRAM file ends in an empty block written last: without it
    // the file was cut short, perhaps at a block boundary, where every
    // block before the cut still reads as whole records.
    switch (hts_check_EOF(h.file)) {
    case 0: h.refuse("cannot read " + describe(name) + kTruncated + " (its end-of-file marker is missing)");
    case -1:
        h.refuse("cannot read " + describe(name) + kTruncated + " (its end cannot be read: " +
                 std::strerror(errno ? errno : EIO) + ")");
    default: break; // present, or a stream or a format without one
    }
    if (!settings.reference.empty()) {
        const std::string cannot = "cannot use the reference '" + settings.reference + "' for " + describe(name);
        if (const std::string problem = is_cram ? reference_problem(settings.reference) : ""; !problem.empty())
            h.refuse(cannot + ": " + problem);
        if (hts_set_fai_filename(h.file, settings.reference.c_str()) != 0) h.refuse(cannot);
    }
    h.header = sam_hdr_read(h.file);
    if (!h.header)
        h.refuse("cannot read " + describe(name) + ": its header is truncated or damaged, or it is not a SAM, BAM "
                 "or CRAM file");
    // The decompression threads start only now: with them running, a
    // header cut short leaves the header read waiting for blocks that never
    // come.
    if (settings.threads > 1) {
        h.pool.pool = hts_tpool_init(settings.threads);
        if (h.pool.pool) hts_set_opt(h.file, HTS_OPT_THREAD_POOL, &h.pool);
    }
}

// The annotation chromosome of each of the file's references, 0 for none.
// A file none of whose references the annotation has is refused: their
// names are spelt otherwise.
std::vector<int> annotation_chromosomes(Handles& h, const FileName& name, const CountLayout& layout)
{
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
        h.refuse(describe(name) + ": none of its " + std::to_string(targets) + " reference names (" + names +
                 (targets > 3 ? ", ..." : "") + ") is a chromosome of the annotation (such as '" + annotated +
                 "'); the names must be spelt the same in both");
    }
    return chromosome;
}

// The size in MiB of a BAM file, over which a progress line runs; -1 for
// the other formats, whose position in the file is not told in bytes.
long progress_size(const Handles& h, const FileName& name)
{
    struct stat st {};
    if (h.file->format.format != bam || ::stat(name.path.c_str(), &st) != 0) return -1;
    return static_cast<long>(st.st_size >> 20);
}

} // namespace

ConditionCounts count_alignments(const FileName& name, const CountLayout& layout, const CountSettings& settings)
{
    Handles h;
    open_alignments(h, name, settings);
    const std::vector<int> chromosome = annotation_chromosomes(h, name, layout);
    std::optional<ProgressLine> progress;
    if (const long size = progress_size(h, name); size >= 0) progress.emplace(size, "MiB of " + name.path);

    Counter counter(layout);
    ConditionCounts result;
    h.record = bam_init1();
    std::uint64_t records = 0;
    int status;
    while ((status = sam_read1(h.file, h.header, h.record)) >= 0) {
        ++records;
        if (progress && (records & 0xffff) == 0) progress->update(static_cast<long>(bgzf_tell(h.file->fp.bgzf) >> 36));
        Reason reason = filter_record(fields_of(h.record, settings.unique_only), settings);
        if (reason == kAssigned) {
            const int tid = h.record->core.tid;
            const int chrom = tid >= 0 && static_cast<std::size_t>(tid) < chromosome.size()
                                  ? chromosome[static_cast<std::size_t>(tid)]
                                  : 0;
            reason = counter.place(h.record, chrom, gene_strand(h.record->core.flag, settings.strandedness),
                                   settings.coverage, result.counted);
        }
        ++result.records[reason];
    }
    // With threads, a block that fails to decompress can end the records
    // as if the file ended there; the handle keeps the error.
    const BGZF* blocks = h.file->is_bgzf ? h.file->fp.bgzf : nullptr;
    if (status < -1 || (blocks && blocks->errcode != 0)) {
        const bool is_cram = h.file->is_cram;
        h.release();
        fail_input(undecodable(name, settings, is_cram));
    }
    if (progress) progress->finish();
    result.nonzero = counter.nonzero();
    return result;
}
