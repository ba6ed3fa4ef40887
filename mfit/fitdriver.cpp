#include "mfit/fitdriver.h"

#include "cli/progress.h"
#include "mfit/mychisq.h"
#include "numcore/mfitmle.h"
#include "parallel/ordered_parallel.h"
#include "tables/fitrecords.h"
#include "tables/run_options.h"

#include <cstdio>

namespace {

// Fits one count vector and writes its field group; for a converged fit also
// the goodness-of-fit lines, tagged `tag_gp` and `tag_p`.
void fit_and_write(int n, const int* v, LineBuffer& result, LineBuffer& chisq_re, const char* tag_gp,
                   const char* tag_p, int id, int condition)
{
    FitRecord fit;
    mfitmle(n, v, fit.converged, fit.lambda, fit.theta, fit.poisson_lambda);
    write_field_group(result, fit);
    if (fit.converged != 1) return;

    int gp_valid = 0, p_valid = 0, gp_df = 0, p_df = 0;
    double gp_chisq = 0, p_chisq = 0;
    mychisq(n, v, fit.theta, fit.lambda, fit.poisson_lambda, gp_valid, p_valid, gp_df, p_df, gp_chisq, p_chisq);
    if (gp_valid == 1)
        chisq_re.text(tag_gp).ch(' ').integer(id).ch(' ').integer(condition).ch(' ').fixed6(gp_chisq).ch(' ').integer(gp_df).endl();
    if (p_valid == 1)
        chisq_re.text(tag_p).ch(' ').integer(id).ch(' ').integer(condition).ch(' ').fixed6(p_chisq).ch(' ').integer(p_df).endl();
}

// The lines one gene contributes to the three files.
struct GeneLines {
    LineBuffer exon_re, gene_re, chisq_re;
};

GeneLines fit_gene(const CountTable& counts, const ExonTable& exons, const GeneTable& genes, int g)
{
    const int conditions = counts.num_conditions;
    GeneLines out;
    for (int e = genes.first_exon[g]; e <= genes.last_exon[g]; ++e) {
        IntVector v(exons.length[e]);
        out.exon_re.integer(genes.gene_id[g]).ch(' ').integer(exons.exon_id[e]).ch(' ').integer(exons.length[e]);
        for (int c = 1; c <= conditions; ++c) {
            fill_exon_vector(counts, exons, e, c, v.get());
            fit_and_write(exons.length[e], v.get(), out.exon_re, out.chisq_re, "e1", "e2", exons.exon_id[e], c);
        }
        out.exon_re.endl();
    }
    IntVector v(genes.length[g]);
    out.gene_re.integer(genes.gene_id[g]).ch(' ').integer(genes.length[g]);
    for (int c = 1; c <= conditions; ++c) {
        fill_gene_vector(counts, exons, genes, g, c, v.get());
        fit_and_write(genes.length[g], v.get(), out.gene_re, out.chisq_re, "g1", "g2", genes.gene_id[g], c);
    }
    out.gene_re.endl();
    return out;
}

} // namespace

void fit_all_genes(const CountTable& counts, const ExonTable& exons, const GeneTable& genes, FitOutputs out,
                   const GeneShard& shard, int threads)
{
    const long count = static_cast<long>(shard.last) - shard.first + 1;
    ProgressLine progress(count, "genes");
    ordered_parallel(
        count, threads, [&](long k) { return fit_gene(counts, exons, genes, shard.first + static_cast<int>(k)); },
        [&](long k, GeneLines&& lines) {
            std::printf("%ld\n", shard.first + k);
            out.exon_re.put(lines.exon_re);
            out.gene_re.put(lines.gene_re);
            out.chisq_re.put(lines.chisq_re);
            check_standard_output();
            progress.update(k + 1);
        });
}
