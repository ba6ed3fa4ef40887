// make_bam DIR [READS]: writes a synthetic coordinate-sorted BAM file of
// READS single-end reads (default 5,000,000) of 100 bases, with sequence and
// qualities, and the GTF annotation they were drawn against, for measuring
// bamcount's throughput (see docs/performance.md). 2000 genes of five exons
// on five chromosomes; four reads in five start in an exon, the rest
// anywhere; strands, mapping qualities and a few duplicates at random.
#include <htslib/sam.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kChromosomes = 5;
constexpr int kGenesPerChromosome = 400;
constexpr int kExons = 5;
constexpr int kExonLength = 200;
constexpr int kIntron = 1000;
constexpr int kGeneSpacing = 20000;
constexpr int kReadLength = 100;
constexpr std::int64_t kChromosomeLength = std::int64_t(kGenesPerChromosome) * kGeneSpacing + 100000;

struct Read {
    int tid;
    std::int64_t pos; // 0-based
    bool reverse;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("usage: make_bam DIR [READS]\n", stderr);
        return 1;
    }
    const std::string dir = argv[1];
    const long reads_wanted = argc > 2 ? std::atol(argv[2]) : 5'000'000;

    std::ofstream gtf(dir + "/genes.gtf");
    std::vector<std::pair<int, std::int64_t>> exon_starts; // (tid, 1-based start)
    for (int c = 0; c < kChromosomes; ++c)
        for (int g = 0; g < kGenesPerChromosome; ++g) {
            const std::string id = "G" + std::to_string(c * kGenesPerChromosome + g + 1);
            const char strand = g % 2 ? '-' : '+';
            for (int e = 0; e < kExons; ++e) {
                const std::int64_t start = std::int64_t(g) * kGeneSpacing + 1 + e * (kExonLength + kIntron);
                exon_starts.emplace_back(c, start);
                gtf << "chr" << c + 1 << "\tsynthetic\texon\t" << start << '\t' << start + kExonLength - 1 << "\t.\t"
                    << strand << "\t.\tgene_id \"" << id << "\"; transcript_id \"" << id << ".1\";\n";
            }
        }

    std::mt19937_64 rng(12345);
    std::vector<Read> reads;
    reads.reserve(static_cast<std::size_t>(reads_wanted));
    for (long k = 0; k < reads_wanted; ++k) {
        Read r{};
        if (rng() % 5 != 0) {
            const auto& [tid, start] = exon_starts[rng() % exon_starts.size()];
            r.tid = tid;
            r.pos = start - 1 + static_cast<std::int64_t>(rng() % kExonLength);
        } else {
            r.tid = static_cast<int>(rng() % kChromosomes);
            r.pos = static_cast<std::int64_t>(rng() % (kChromosomeLength - kReadLength));
        }
        r.reverse = rng() % 2;
        reads.push_back(r);
    }
    std::sort(reads.begin(), reads.end(),
              [](const Read& a, const Read& b) { return a.tid != b.tid ? a.tid < b.tid : a.pos < b.pos; });

    samFile* out = sam_open((dir + "/reads.bam").c_str(), "wb");
    hts_set_threads(out, 2);
    sam_hdr_t* header = sam_hdr_init();
    sam_hdr_add_line(header, "HD", "VN", "1.6", "SO", "coordinate", nullptr);
    for (int c = 0; c < kChromosomes; ++c)
        sam_hdr_add_line(header, "SQ", "SN", ("chr" + std::to_string(c + 1)).c_str(), "LN",
                         std::to_string(kChromosomeLength).c_str(), nullptr);
    if (sam_hdr_write(out, header) < 0) return 2;

    bam1_t* b = bam_init1();
    const std::uint32_t cigar = bam_cigar_gen(kReadLength, BAM_CMATCH);
    std::string seq(kReadLength, 'A'), qual(kReadLength, 30);
    const char bases[] = "ACGT";
    for (std::size_t k = 0; k < reads.size(); ++k) {
        for (char& s : seq) s = bases[rng() % 4];
        const std::string name = "r" + std::to_string(k);
        std::uint16_t flag = reads[k].reverse ? BAM_FREVERSE : 0;
        if (rng() % 50 == 0) flag |= BAM_FDUP;
        const std::uint8_t mapq = rng() % 20 == 0 ? 3 : 60;
        if (bam_set1(b, name.size(), name.c_str(), flag, reads[k].tid, reads[k].pos, mapq, 1, &cigar, -1, -1, 0,
                     seq.size(), seq.c_str(), qual.c_str(), 0) < 0 ||
            sam_write1(out, header, b) < 0)
            return 2;
    }
    bam_destroy1(b);
    sam_hdr_destroy(header);
    if (sam_close(out) != 0) return 2;
    std::printf("%s/reads.bam: %zu reads; %s/genes.gtf: %d genes\n", dir.c_str(), reads.size(), dir.c_str(),
                kChromosomes * kGenesPerChromosome);
    return 0;
}
