// simcounts: deterministic synthetic per-position RNA-seq read counts.
//
// It writes a dataset in the same plain-text layout that mfit, lvcmp and
// isocmp read, plus the list of effects it planted, so that the statistical
// programs can be exercised at full size and checked against a known truth.
//
// Files written into the output directory (whitespace-separated decimal
// integers unless stated, '\n' line ends, no header unless stated):
//
//   reads.txt    one row per genomic position that has at least one read in
//                some condition: chromosome position strand c_1 ... c_C
//                (chromosome numbered from 1, 1-based position, strand 0/1,
//                then one non-negative count per condition, condition 1 first).
//   exon_zb.txt  one row per exon: exon_id first_row last_row length.
//                Rows are 1-based lines of reads.txt, inclusive; an exon with
//                no rows has last_row = first_row - 1.  length counts every
//                position of the exon, so length - rows positions carry no
//                read in any condition and are not listed in reads.txt.
//   gene_zb.txt  one row per gene: gene_id first_exon last_exon length, exon
//                numbers being 1-based lines of exon_zb.txt; length is the sum
//                of the gene's exon lengths.
//   gtt.txt      one line per condition: general_total poisson_total, both the
//                sum of that condition's counts over all rows (never below 1).
//   truth.tsv    tab-separated with a header line; one line per planted effect:
//                  kind         gene (change of level) or exon (change of share)
//                  index        1-based line of gene_zb.txt or exon_zb.txt
//                  id           the gene_id or exon_id on that line
//                  condition_a  1-based reference condition (rate unchanged)
//                  condition_b  1-based condition whose rate was multiplied
//                  effect       the factor applied in condition_b, i.e. the
//                               fold change b over a before library size
//
// Only condition_b's rate is altered by an effect; every other condition keeps
// the base rate, so condition_a stands for all of them.
//
// Every random draw comes from our own xoshiro256** streams and samplers, never
// from <random>'s distributions, whose output differs between library versions:
// a seed must name the same dataset wherever it is rebuilt.  Each gene draws
// from streams keyed by (seed, gene number), so the first N genes of a larger
// run have the same structure as a run of N genes.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace {

struct Failure {
    std::string message;
};

[[noreturn]] void fail(std::string message) { throw Failure{std::move(message)}; }

// ---------------------------------------------------------------------------
// Random numbers

constexpr std::uint64_t splitmix64(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

constexpr std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

// Stream purposes; each gets its own family of streams so that changing how
// much one part draws never shifts the numbers another part sees.
enum class Purpose : std::uint64_t { structure = 1, counts = 2, planting = 3, library = 4 };

class Rng {
public:
    Rng(std::uint64_t seed, Purpose purpose, std::uint64_t index) {
        std::uint64_t h = seed;
        std::uint64_t key = splitmix64(h) ^ (static_cast<std::uint64_t>(purpose) * 0xD6E8FEB86659FD93ULL);
        key = splitmix64(key) ^ (index * 0xA0761D6478BD642FULL);
        for (auto& word : s_) word = splitmix64(key);
    }

    std::uint64_t next() {
        const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
        const std::uint64_t t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = rotl(s_[3], 45);
        return result;
    }

    // Open interval (0,1): callers take logarithms and powers of it.
    double uniform() { return (static_cast<double>(next() >> 11) + 0.5) * 0x1.0p-53; }

    // Uniform integer in [0, n), without modulo bias.
    std::uint64_t below(std::uint64_t n) {
        const std::uint64_t threshold = (0 - n) % n;
        for (;;) {
            const std::uint64_t r = next();
            if (r >= threshold) return r % n;
        }
    }

    // Marsaglia's polar method; the second deviate of each pair is kept.
    double normal() {
        if (has_spare_) {
            has_spare_ = false;
            return spare_;
        }
        double u, v, q;
        do {
            u = 2.0 * uniform() - 1.0;
            v = 2.0 * uniform() - 1.0;
            q = u * u + v * v;
        } while (q >= 1.0 || q == 0.0);
        const double f = std::sqrt(-2.0 * std::log(q) / q);
        spare_ = v * f;
        has_spare_ = true;
        return u * f;
    }

private:
    std::uint64_t s_[4];
    double spare_ = 0.0;
    bool has_spare_ = false;
};

// Gamma(shape, 1) by Marsaglia and Tsang.  The constants depend only on the
// shape, which is fixed per gene, so they are worked out once per gene rather
// than once per position.  Shapes below one are drawn as Gamma(shape + 1)
// times U^(1/shape).
class Gamma {
public:
    explicit Gamma(double shape) : boost_(shape < 1.0), inv_shape_(1.0 / shape) {
        const double a = boost_ ? shape + 1.0 : shape;
        d_ = a - 1.0 / 3.0;
        c_ = 1.0 / std::sqrt(9.0 * d_);
    }

    double operator()(Rng& rng) const {
        double x, v;
        for (;;) {
            x = rng.normal();
            v = 1.0 + c_ * x;
            if (v <= 0.0) continue;
            v = v * v * v;
            const double u = rng.uniform();
            const double x2 = x * x;
            if (u < 1.0 - 0.0331 * x2 * x2) break;
            if (std::log(u) < 0.5 * x2 + d_ * (1.0 - v + std::log(v))) break;
        }
        double g = d_ * v;
        if (boost_) g *= std::pow(rng.uniform(), inv_shape_);
        return g;
    }

private:
    bool boost_;
    double inv_shape_;
    double d_ = 0.0;
    double c_ = 0.0;
};

// log(k!) from a table for small k and the Stirling series beyond, where its
// truncation error is far below double precision.
class LogFactorial {
public:
    LogFactorial() {
        table_[0] = 0.0;
        for (int k = 1; k < kTable; ++k) table_[k] = table_[k - 1] + std::log(static_cast<double>(k));
    }
    double operator()(double k) const {
        if (k < kTable) return table_[static_cast<int>(k)];
        const double inv = 1.0 / k;
        const double inv2 = inv * inv;
        return k * std::log(k) - k + 0.5 * std::log(2.0 * 3.14159265358979323846 * k) +
               inv * (1.0 / 12.0 - inv2 * (1.0 / 360.0 - inv2 * (1.0 / 1260.0)));
    }

private:
    static constexpr int kTable = 256;
    double table_[kTable];
};

const LogFactorial log_factorial;

// Large means, through the rejection loop below, would overflow 32-bit counts
// long before they mattered to anyone; clamping keeps every count in range.
constexpr double kMaxMean = 1.0e9;

// Poisson deviate: sequential inversion while exp(-mean) is comfortably
// representable and the expected number of steps small; Hoermann's
// transformed rejection with squeeze (PTRS) above that.
std::uint32_t poisson(Rng& rng, double mean) {
    if (!(mean > 0.0)) return 0;
    if (mean < 12.0) {
        double p = std::exp(-mean);
        double u = rng.uniform();
        std::uint32_t k = 0;
        // Rounding can leave u a hair above the summed mass; the cap ends the
        // walk far beyond any count with non-negligible probability.
        while (u > p && k < 400) {
            u -= p;
            ++k;
            p *= mean / k;
        }
        return k;
    }
    mean = std::min(mean, kMaxMean);
    const double slam = std::sqrt(mean);
    const double loglam = std::log(mean);
    const double b = 0.931 + 2.53 * slam;
    const double a = -0.059 + 0.02483 * b;
    const double inv_alpha = 1.1239 + 1.1328 / (b - 3.4);
    const double vr = 0.9277 - 3.6224 / (b - 2.0);
    for (;;) {
        const double u = rng.uniform() - 0.5;
        const double v = rng.uniform();
        const double us = 0.5 - std::fabs(u);
        const double k = std::floor((2.0 * a / us + b) * u + mean + 0.43);
        if (us >= 0.07 && v <= vr) return static_cast<std::uint32_t>(k);
        if (k < 0.0 || (us < 0.013 && v > us)) continue;
        if (std::log(v) + std::log(inv_alpha) - std::log(a / (us * us) + b) <=
            -mean + k * loglam - log_factorial(k))
            return static_cast<std::uint32_t>(k);
    }
}

double log_normal(Rng& rng, double median, double sigma) { return median * std::exp(sigma * rng.normal()); }

double clamp(double x, double lo, double hi) { return std::min(std::max(x, lo), hi); }

// ---------------------------------------------------------------------------
// Settings

struct Settings {
    std::uint64_t seed = 1;
    std::uint64_t genes = 18773;
    std::uint64_t conditions = 6;
    std::string out = ".";
    double planted_genes = 0.05;
    double planted_exons = 0.03;
    double scale = 1.0;
    bool scale_given = false;
    std::uint64_t rows = 0;  // 0: no row target
    double depth = 1.0;
};

constexpr std::uint64_t kMaxGenes = 1000000;
constexpr std::uint64_t kMaxConditions = 1000;
constexpr std::uint64_t kMaxRows = 2000000000;

const char* const kUsage =
    "usage: simcounts [options]\n"
    "Writes a synthetic per-position RNA-seq count dataset with planted effects.\n"
    "\n"
    "options (each also accepted as --name=value):\n"
    "  --seed N              random seed, any 64-bit unsigned integer (default 1)\n"
    "  --genes N             number of genes, 1..1000000 (default 18773)\n"
    "  --conditions N        number of conditions, 1..1000 (default 6)\n"
    "  --out DIR             output directory, created if missing (default .)\n"
    "  --planted-genes F     fraction of genes given a change of level, 0..1 (default 0.05)\n"
    "  --planted-exons F     fraction of exons given a change of share, 0..1 (default 0.03)\n"
    "  --scale F             multiply every exon length by F, 0 < F <= 100 (default 1)\n"
    "  --rows N              choose the exon length scale so that about N rows are written,\n"
    "                        1..2000000000 (cannot be combined with --scale)\n"
    "  --depth F             multiply every expression level by F, 0 < F <= 1000000 (default 1)\n"
    "  --help                print this text and exit\n"
    "\n"
    "files written into DIR:\n"
    "  reads.txt    chromosome position strand count_1 .. count_C, one line per position\n"
    "               with a read in some condition\n"
    "  exon_zb.txt  exon_id first_row last_row length (rows 1-based in reads.txt;\n"
    "               last_row = first_row - 1 for an exon without rows)\n"
    "  gene_zb.txt  gene_id first_exon last_exon length (exons 1-based in exon_zb.txt)\n"
    "  gtt.txt      general_total poisson_total, one line per condition\n"
    "  truth.tsv    header, then per planted effect the tab-separated columns\n"
    "               kind (gene|exon), index (1-based line in gene_zb/exon_zb), id,\n"
    "               condition_a (reference), condition_b (changed), effect (factor\n"
    "               applied to condition_b's rate: fold change b over a)\n"
    "\n"
    "prints one line: num_reads=R num_conditions=C num_exons=E num_genes=G\n";

std::uint64_t parse_count(std::string_view name, std::string_view text, std::uint64_t lo, std::uint64_t hi) {
    std::uint64_t v = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || v < lo || v > hi)
        fail("--" + std::string(name) + " needs an integer from " + std::to_string(lo) + " to " + std::to_string(hi) +
             ", got '" + std::string(text) + "'");
    return v;
}

double parse_real(std::string_view name, std::string_view text, double lo, double hi, bool lo_open,
                  const char* range) {
    double v = 0.0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    const bool ok = !text.empty() && ec == std::errc() && ptr == text.data() + text.size() && std::isfinite(v) &&
                    (lo_open ? v > lo : v >= lo) && v <= hi;
    if (!ok) fail("--" + std::string(name) + " needs a number " + range + ", got '" + std::string(text) + "'");
    return v;
}

// Returns false when --help was asked for.
bool parse_args(int argc, char** argv, Settings& s) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") return false;
        if (arg.size() < 3 || arg.substr(0, 2) != "--") fail("unexpected argument '" + std::string(arg) + "'");
        std::string_view name = arg.substr(2);
        std::string_view value;
        bool have_value = false;
        if (const auto eq = name.find('='); eq != std::string_view::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            have_value = true;
        }
        static constexpr std::string_view known[] = {"seed",          "genes",         "conditions", "out",
                                                     "planted-genes", "planted-exons", "scale",      "rows",
                                                     "depth"};
        if (std::find(std::begin(known), std::end(known), name) == std::end(known))
            fail("unknown option '--" + std::string(name) + "' (see --help)");
        if (!have_value) {
            if (i + 1 >= argc) fail("--" + std::string(name) + " needs a value");
            value = argv[++i];
        }
        if (name == "seed") {
            s.seed = parse_count(name, value, 0, UINT64_MAX);
        } else if (name == "genes") {
            s.genes = parse_count(name, value, 1, kMaxGenes);
        } else if (name == "conditions") {
            s.conditions = parse_count(name, value, 1, kMaxConditions);
        } else if (name == "out") {
            if (value.empty()) fail("--out needs a directory name");
            s.out = std::string(value);
        } else if (name == "planted-genes") {
            s.planted_genes = parse_real(name, value, 0.0, 1.0, false, "from 0 to 1");
        } else if (name == "planted-exons") {
            s.planted_exons = parse_real(name, value, 0.0, 1.0, false, "from 0 to 1");
        } else if (name == "scale") {
            s.scale = parse_real(name, value, 0.0, 100.0, true, "above 0 and at most 100");
            s.scale_given = true;
        } else if (name == "rows") {
            s.rows = parse_count(name, value, 1, kMaxRows);
        } else if (name == "depth") {
            s.depth = parse_real(name, value, 0.0, 1000000.0, true, "above 0 and at most 1000000");
        }
    }
    if (s.scale_given && s.rows != 0) fail("--scale and --rows cannot be combined");
    return true;
}

// ---------------------------------------------------------------------------
// Dataset shape
//
// The constants below were tuned so that the default run (18773 genes,
// 6 conditions) gives about 194,000 exons and 24 million rows, the sizes the
// statistical programs are sized and timed for.

constexpr double kSingleExonShare = 0.06;
constexpr double kExonCountShape = 2.5;
constexpr double kExonCountScale = 3.53;
constexpr int kMaxExonsPerGene = 100;
constexpr double kExonLengthMedian = 108.0;
constexpr double kExonLengthSigma = 0.9;
constexpr double kMinExonLength = 20.0;
constexpr double kMaxExonLength = 2000.0;
constexpr double kLevelMedian = 0.6;  // mean count per position, library size 1
constexpr double kLevelSigma = 1.5;
constexpr double kMinLevel = 0.03;
constexpr double kMaxLevel = 300.0;
constexpr double kExonWeightShape = 3.0;
constexpr double kSilentExonShare = 0.03;
constexpr double kMinLibrarySize = 0.7;
constexpr double kMaxLibrarySize = 1.4;
// Effects planted on genes too faint to show anything would only dilute the
// truth list, so planting skips genes whose level is below this.
constexpr double kMinPlantedLevel = 0.25;
constexpr double kMinLog2Fold = 1.0;
constexpr double kMaxLog2Fold = 2.5;
constexpr std::int64_t kChromosomeLength = 80000000;

struct GenePlan {
    double level = 0.0;       // mean count per position before exon weights
    double dispersion = 0.0;  // negative binomial: variance = m + dispersion * m^2
    std::int64_t first_exon = 0;
    std::int64_t exon_count = 0;
    std::int64_t gap_before = 0;  // intergenic distance to the previous gene
    int strand = 0;
};

struct ExonPlan {
    double base_length = 0.0;  // before --scale / --rows
    double weight = 0.0;       // relative rate within the gene, mean 1; 0 = silent
    std::int64_t intron_before = 0;
};

struct Effect {
    std::uint32_t cond_a = 0;  // 0-based; meaningful only when fold != 1
    std::uint32_t cond_b = 0;
    double fold = 1.0;
    bool planted() const { return fold != 1.0; }
};

struct Plan {
    std::vector<GenePlan> genes;
    std::vector<ExonPlan> exons;
    std::vector<double> library;  // per condition
    std::vector<Effect> gene_effects;
    std::vector<Effect> exon_effects;
    double length_scale = 1.0;
};

void plan_structure(const Settings& s, Plan& plan) {
    plan.genes.resize(s.genes);
    plan.exons.reserve(s.genes * 11);
    for (std::uint64_t g = 0; g < s.genes; ++g) {
        Rng rng(s.seed, Purpose::structure, g);
        GenePlan& gene = plan.genes[g];
        std::int64_t n = 1;
        if (rng.uniform() >= kSingleExonShare) {
            const double lambda = Gamma(kExonCountShape)(rng) * kExonCountScale;
            n = std::min<std::int64_t>(2 + poisson(rng, lambda), kMaxExonsPerGene);
        }
        gene.level = clamp(log_normal(rng, kLevelMedian, kLevelSigma), kMinLevel, kMaxLevel);
        // Faint genes are the noisier ones in real libraries.
        gene.dispersion = clamp((0.12 + 0.5 / std::sqrt(gene.level)) * std::exp(0.5 * rng.normal()), 0.02, 5.0);
        gene.strand = static_cast<int>(rng.next() >> 63);
        gene.gap_before = 2000 + static_cast<std::int64_t>(clamp(log_normal(rng, 15000.0, 1.0), 0.0, 1.0e6));
        gene.first_exon = static_cast<std::int64_t>(plan.exons.size());
        gene.exon_count = n;
        const Gamma weight_draw(kExonWeightShape);
        std::int64_t silent = 0;
        for (std::int64_t e = 0; e < n; ++e) {
            ExonPlan exon;
            exon.base_length =
                std::round(clamp(log_normal(rng, kExonLengthMedian, kExonLengthSigma), kMinExonLength, kMaxExonLength));
            exon.weight = weight_draw(rng) / kExonWeightShape;
            const bool mute = rng.uniform() < kSilentExonShare;
            exon.intron_before =
                e == 0 ? 0 : static_cast<std::int64_t>(clamp(log_normal(rng, 1200.0, 1.2), 50.0, 100000.0));
            if (mute && n > 1) {
                exon.weight = 0.0;
                ++silent;
            }
            plan.exons.push_back(exon);
        }
        // A gene always keeps one transcribed exon; silence is an exon's
        // property, a gene without any reads should only come from low level.
        if (silent == n) plan.exons[gene.first_exon].weight = 1.0;
    }
    plan.library.resize(s.conditions);
    for (std::uint64_t c = 0; c < s.conditions; ++c) {
        Rng rng(s.seed, Purpose::library, c);
        plan.library[c] = kMinLibrarySize + (kMaxLibrarySize - kMinLibrarySize) * rng.uniform();
    }
}

// Picks k of the candidates (partial Fisher-Yates) and returns them ascending.
std::vector<std::int64_t> choose(Rng& rng, std::vector<std::int64_t> candidates, std::uint64_t k) {
    k = std::min<std::uint64_t>(k, candidates.size());
    for (std::uint64_t i = 0; i < k; ++i) {
        const std::uint64_t j = i + rng.below(candidates.size() - i);
        std::swap(candidates[i], candidates[j]);
    }
    candidates.resize(k);
    std::sort(candidates.begin(), candidates.end());
    return candidates;
}

Effect draw_effect(Rng& rng, std::uint64_t conditions) {
    Effect fx;
    fx.cond_a = static_cast<std::uint32_t>(rng.below(conditions));
    fx.cond_b = static_cast<std::uint32_t>(rng.below(conditions - 1));
    if (fx.cond_b >= fx.cond_a) ++fx.cond_b;
    const double magnitude = kMinLog2Fold + (kMaxLog2Fold - kMinLog2Fold) * rng.uniform();
    const double sign = (rng.next() >> 63) ? 1.0 : -1.0;
    // Rounded to the printed precision so that truth.tsv states exactly the
    // factor that was applied.
    fx.fold = std::round(std::exp2(sign * magnitude) * 1.0e6) / 1.0e6;
    return fx;
}

void plan_effects(const Settings& s, Plan& plan) {
    plan.gene_effects.assign(plan.genes.size(), Effect{});
    plan.exon_effects.assign(plan.exons.size(), Effect{});
    if (s.conditions < 2) return;  // nothing to compare

    std::vector<std::int64_t> gene_candidates;
    std::vector<std::int64_t> exon_candidates;
    for (std::size_t g = 0; g < plan.genes.size(); ++g) {
        const GenePlan& gene = plan.genes[g];
        if (gene.level * s.depth < kMinPlantedLevel) continue;
        gene_candidates.push_back(static_cast<std::int64_t>(g));
        // A share can only move if another exon of the gene is transcribed.
        std::int64_t live = 0;
        for (std::int64_t e = 0; e < gene.exon_count; ++e) live += plan.exons[gene.first_exon + e].weight > 0.0;
        if (live < 2) continue;
        for (std::int64_t e = 0; e < gene.exon_count; ++e)
            if (plan.exons[gene.first_exon + e].weight > 0.0) exon_candidates.push_back(gene.first_exon + e);
    }

    Rng gene_rng(s.seed, Purpose::planting, 0);
    const auto gene_count = static_cast<std::uint64_t>(std::llround(s.planted_genes * static_cast<double>(plan.genes.size())));
    for (std::int64_t g : choose(gene_rng, gene_candidates, gene_count))
        plan.gene_effects[g] = draw_effect(gene_rng, s.conditions);

    Rng exon_rng(s.seed, Purpose::planting, 1);
    const auto exon_count = static_cast<std::uint64_t>(std::llround(s.planted_exons * static_cast<double>(plan.exons.size())));
    for (std::int64_t e : choose(exon_rng, exon_candidates, exon_count))
        plan.exon_effects[e] = draw_effect(exon_rng, s.conditions);
}

std::int64_t scaled_length(double base, double scale) {
    return std::max<std::int64_t>(1, static_cast<std::int64_t>(std::llround(base * scale)));
}

// Mean count per position of one exon in each condition.
void exon_means(const Settings& s, const Plan& plan, std::size_t g, std::size_t e, std::vector<double>& means) {
    const GenePlan& gene = plan.genes[g];
    const Effect& gfx = plan.gene_effects[g];
    const Effect& efx = plan.exon_effects[e];
    const double base = s.depth * gene.level * plan.exons[e].weight;
    for (std::size_t c = 0; c < means.size(); ++c) {
        double m = base * plan.library[c];
        if (gfx.planted() && c == gfx.cond_b) m *= gfx.fold;
        if (efx.planted() && c == efx.cond_b) m *= efx.fold;
        means[c] = m;
    }
}

// Solves for the exon length scale whose expected number of rows is the
// target.  A position is a row unless every condition draws zero, which under
// the negative binomial happens with probability prod_c (1 + m_c d)^(-1/d);
// that probability is the same for every position of an exon, so the
// expectation is linear in each exon's (rounded) length and monotone in the
// scale, and bisection finds it.
double solve_length_scale(const Settings& s, const Plan& plan) {
    std::vector<double> row_share(plan.exons.size(), 0.0);
    std::vector<double> means(s.conditions);
    for (std::size_t g = 0; g < plan.genes.size(); ++g) {
        const GenePlan& gene = plan.genes[g];
        for (std::int64_t k = 0; k < gene.exon_count; ++k) {
            const std::size_t e = static_cast<std::size_t>(gene.first_exon + k);
            exon_means(s, plan, g, e, means);
            double log_all_zero = 0.0;
            for (double m : means) log_all_zero -= std::log1p(m * gene.dispersion) / gene.dispersion;
            row_share[e] = -std::expm1(log_all_zero);
        }
    }
    const auto expected = [&](double scale) {
        double rows = 0.0;
        for (std::size_t e = 0; e < plan.exons.size(); ++e)
            rows += static_cast<double>(scaled_length(plan.exons[e].base_length, scale)) * row_share[e];
        return rows;
    };
    const double target = static_cast<double>(s.rows);
    double lo = std::log(1.0e-4);
    double hi = std::log(100.0);
    for (int iter = 0; iter < 80; ++iter) {
        const double mid = 0.5 * (lo + hi);
        if (expected(std::exp(mid)) < target)
            lo = mid;
        else
            hi = mid;
    }
    // Lengths are rounded, so the answer is a step; take whichever side of it
    // lands closer to the target.
    const double below = std::exp(lo);
    const double above = std::exp(hi);
    return std::fabs(expected(below) - target) <= std::fabs(expected(above) - target) ? below : above;
}

// ---------------------------------------------------------------------------
// Output

// Buffered file writer.  Rows are formatted straight into a large buffer and
// written in multi-megabyte blocks; per-token stream output would dominate the
// run time at full size.
class Sink {
public:
    static constexpr std::size_t kCapacity = std::size_t{8} << 20;

    explicit Sink(std::filesystem::path path) : path_(std::move(path)), buf_(kCapacity) {
        file_ = std::fopen(path_.c_str(), "wb");
        if (!file_) fail("cannot create " + path_.string() + ": " + std::strerror(errno));
    }
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;
    ~Sink() {
        if (file_) std::fclose(file_);
    }

    // Room for at least n more bytes; valid until commit().
    char* reserve(std::size_t n) {
        if (kCapacity - used_ < n) flush();
        return buf_.data() + used_;
    }
    void commit(char* end) { used_ = static_cast<std::size_t>(end - buf_.data()); }

    void write(std::string_view text) {
        char* p = reserve(text.size());
        std::memcpy(p, text.data(), text.size());
        commit(p + text.size());
    }

    void close() {
        flush();
        FILE* f = file_;
        file_ = nullptr;
        if (std::fclose(f) != 0) fail("cannot write " + path_.string() + ": " + std::strerror(errno));
    }

private:
    void flush() {
        if (used_ == 0) return;
        if (std::fwrite(buf_.data(), 1, used_, file_) != used_)
            fail("cannot write " + path_.string() + ": " + std::strerror(errno));
        used_ = 0;
    }

    std::filesystem::path path_;
    std::vector<char> buf_;
    std::size_t used_ = 0;
    FILE* file_ = nullptr;
};

inline char* put(char* p, std::uint64_t v) { return std::to_chars(p, p + 20, v).ptr; }
inline char* put(char* p, std::int64_t v) { return std::to_chars(p, p + 21, v).ptr; }

struct ExonRecord {
    std::int64_t first_row;
    std::int64_t last_row;
    std::int64_t length;
};

std::uint64_t gene_id(std::size_t g) { return 1000 + 7 * static_cast<std::uint64_t>(g + 1); }
std::uint64_t exon_id(std::size_t e) { return 200000 + 3 * static_cast<std::uint64_t>(e + 1); }

struct Totals {
    std::int64_t rows = 0;
    std::vector<std::uint64_t> per_condition;
};

// Draws every position of every exon and writes the rows that got a read.
Totals write_reads(const Settings& s, const Plan& plan, const std::filesystem::path& path,
                   std::vector<ExonRecord>& exons) {
    Sink sink(path);
    const std::size_t C = s.conditions;
    const std::size_t max_row = 3 * 21 + C * 11 + 1;
    Totals totals;
    totals.per_condition.assign(C, 0);
    exons.resize(plan.exons.size());

    std::vector<double> means(C);
    std::vector<double> gamma_scale(C);
    std::vector<std::uint32_t> counts(C);
    std::int64_t row = 0;
    std::int64_t chromosome = 1;
    std::int64_t cursor = 0;  // last used genomic position on this chromosome

    for (std::size_t g = 0; g < plan.genes.size(); ++g) {
        const GenePlan& gene = plan.genes[g];
        Rng rng(s.seed, Purpose::counts, g);
        const Gamma mixing(1.0 / gene.dispersion);

        std::int64_t span = 0;
        for (std::int64_t k = 0; k < gene.exon_count; ++k) {
            const ExonPlan& exon = plan.exons[gene.first_exon + k];
            span += exon.intron_before + scaled_length(exon.base_length, plan.length_scale);
        }
        if (cursor > 0 && cursor + gene.gap_before + span > kChromosomeLength) {
            ++chromosome;
            cursor = 0;
        }
        cursor += gene.gap_before;

        for (std::int64_t k = 0; k < gene.exon_count; ++k) {
            const std::size_t e = static_cast<std::size_t>(gene.first_exon + k);
            const ExonPlan& exon = plan.exons[e];
            const std::int64_t length = scaled_length(exon.base_length, plan.length_scale);
            cursor += exon.intron_before;
            const std::int64_t start = cursor + 1;
            cursor += length;
            exons[e] = {row + 1, row, length};
            if (exon.weight == 0.0) continue;

            exon_means(s, plan, g, e, means);
            // Gamma(1/d) scaled by m*d has mean m and variance m^2 d.
            for (std::size_t c = 0; c < C; ++c) gamma_scale[c] = means[c] * gene.dispersion;

            for (std::int64_t pos = 0; pos < length; ++pos) {
                std::uint32_t any = 0;
                for (std::size_t c = 0; c < C; ++c) {
                    const std::uint32_t n = poisson(rng, mixing(rng) * gamma_scale[c]);
                    counts[c] = n;
                    any |= n;
                }
                if (any == 0) continue;
                char* p = sink.reserve(max_row);
                p = put(p, chromosome);
                *p++ = ' ';
                p = put(p, start + pos);
                *p++ = ' ';
                *p++ = static_cast<char>('0' + gene.strand);
                for (std::size_t c = 0; c < C; ++c) {
                    *p++ = ' ';
                    p = put(p, std::uint64_t{counts[c]});
                    totals.per_condition[c] += counts[c];
                }
                *p++ = '\n';
                sink.commit(p);
                ++row;
            }
            exons[e].last_row = row;
        }
    }
    sink.close();
    totals.rows = row;
    return totals;
}

void write_tables(const Plan& plan, const std::vector<ExonRecord>& exons, const std::filesystem::path& dir) {
    {
        Sink sink(dir / "exon_zb.txt");
        for (std::size_t e = 0; e < exons.size(); ++e) {
            char* p = sink.reserve(4 * 21 + 4);
            p = put(p, exon_id(e));
            *p++ = ' ';
            p = put(p, exons[e].first_row);
            *p++ = ' ';
            p = put(p, exons[e].last_row);
            *p++ = ' ';
            p = put(p, exons[e].length);
            *p++ = '\n';
            sink.commit(p);
        }
        sink.close();
    }
    Sink sink(dir / "gene_zb.txt");
    for (std::size_t g = 0; g < plan.genes.size(); ++g) {
        const GenePlan& gene = plan.genes[g];
        std::int64_t length = 0;
        for (std::int64_t k = 0; k < gene.exon_count; ++k) length += exons[gene.first_exon + k].length;
        char* p = sink.reserve(4 * 21 + 4);
        p = put(p, gene_id(g));
        *p++ = ' ';
        p = put(p, gene.first_exon + 1);
        *p++ = ' ';
        p = put(p, gene.first_exon + gene.exon_count);
        *p++ = ' ';
        p = put(p, length);
        *p++ = '\n';
        sink.commit(p);
    }
    sink.close();
}

void write_totals(const Totals& totals, const std::filesystem::path& path) {
    Sink sink(path);
    for (std::uint64_t total : totals.per_condition) {
        // A condition without a single read (only in degenerate tiny runs)
        // still needs a positive total for the normalisation downstream.
        const std::uint64_t t = std::max<std::uint64_t>(total, 1);
        char* p = sink.reserve(64);
        for (int k = 0; k < 2; ++k) {
            p = put(p, t);
            std::memcpy(p, ".000000", 7);
            p += 7;
            *p++ = k == 0 ? ' ' : '\n';
        }
        sink.commit(p);
    }
    sink.close();
}

void write_truth(const Plan& plan, const std::filesystem::path& path) {
    Sink sink(path);
    sink.write("kind\tindex\tid\tcondition_a\tcondition_b\teffect\n");
    const auto line = [&](std::string_view kind, std::size_t index, std::uint64_t id, const Effect& fx) {
        char* p = sink.reserve(160);
        std::memcpy(p, kind.data(), kind.size());
        p += kind.size();
        *p++ = '\t';
        p = put(p, std::uint64_t{index + 1});
        *p++ = '\t';
        p = put(p, id);
        *p++ = '\t';
        p = put(p, std::uint64_t{fx.cond_a} + 1);
        *p++ = '\t';
        p = put(p, std::uint64_t{fx.cond_b} + 1);
        *p++ = '\t';
        p = std::to_chars(p, p + 64, fx.fold, std::chars_format::fixed, 6).ptr;
        *p++ = '\n';
        sink.commit(p);
    };
    for (std::size_t g = 0; g < plan.gene_effects.size(); ++g)
        if (plan.gene_effects[g].planted()) line("gene", g, gene_id(g), plan.gene_effects[g]);
    for (std::size_t e = 0; e < plan.exon_effects.size(); ++e)
        if (plan.exon_effects[e].planted()) line("exon", e, exon_id(e), plan.exon_effects[e]);
    sink.close();
}

int run(int argc, char** argv) {
    Settings s;
    if (!parse_args(argc, argv, s)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const std::filesystem::path dir(s.out);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) fail("cannot create directory " + s.out + ": " + ec.message());
    if (!std::filesystem::is_directory(dir, ec)) fail(s.out + " is not a directory");

    Plan plan;
    plan_structure(s, plan);
    plan_effects(s, plan);
    plan.length_scale = s.rows != 0 ? solve_length_scale(s, plan) : s.scale;

    std::vector<ExonRecord> exons;
    const Totals totals = write_reads(s, plan, dir / "reads.txt", exons);
    write_tables(plan, exons, dir);
    write_totals(totals, dir / "gtt.txt");
    write_truth(plan, dir / "truth.tsv");

    char line[160];
    const int n = std::snprintf(line, sizeof line, "num_reads=%lld num_conditions=%llu num_exons=%zu num_genes=%zu\n",
                                static_cast<long long>(totals.rows), static_cast<unsigned long long>(s.conditions),
                                plan.exons.size(), plan.genes.size());
    if (n < 0 || std::fputs(line, stdout) == EOF || std::fflush(stdout) != 0) fail("cannot write to standard output");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const Failure& f) {
        std::fprintf(stderr, "simcounts: %s\n", f.message.c_str());
    } catch (const std::bad_alloc&) {
        std::fputs("simcounts: out of memory\n", stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "simcounts: %s\n", e.what());
    }
    return 2;
}
