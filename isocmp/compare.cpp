#include "compare.h"

#include "arrays.h"
#include "lrtmfit2.h"
#include "lrtp2.h"
#include "share_permutation.h"
#include "slices.h"

#include <cstdio>

namespace {

// Fills the gene's vector of condition c and, when `slices` is given, each
// exon's positions in it.
void fill_gene(const ShareInputs& in, int g, int c, int* v, ExonSlice* slices)
{
    const ExonTable& exons = in.exons;
    const int first = in.genes.first_exon[g];
    int p = 0;
    for (int e = first; e <= in.genes.last_exon[g]; ++e) {
        if (slices) (*slices)[e - first + 1][kSliceStart] = p + 1;
        for (int r = exons.first_row[e]; r <= exons.last_row[e]; ++r) v[++p] = in.counts.counts[r][c];
        if (slices) (*slices)[e - first + 1][kSliceEnd] = p;
    }
    for (int k = p + 1; k <= in.genes.length[g]; ++k) v[k] = 0;
}

} // namespace

void compare_shares(const ShareInputs& in, bool permute, std::int64_t& seed, OutputFile& out)
{
    const int C = in.counts.num_conditions;
    const FitTable& gf = in.gene_fits;
    const FitTable& ef = in.exon_fits;
    for (int g = 1; g <= in.genes.num_genes; ++g) {
        std::printf("%d\n", g);
        const int n_g = in.genes.length[g];
        const int first = in.genes.first_exon[g];
        const int last = in.genes.last_exon[g];
        IntVector gene_i(n_g), gene_l(n_g);
        ExonSlice slices(last - first + 1, 2);
        for (int i = 1; i <= C; ++i) {
            if (gf.converged[g][i] != 1) continue;
            fill_gene(in, g, i, gene_i.get(), &slices);
            for (int l = i + 1; l <= C; ++l) {
                if (gf.converged[g][l] != 1) continue;
                fill_gene(in, g, l, gene_l.get(), nullptr);
                for (int e = first; e <= last; ++e) {
                    if (ef.converged[e][i] != 1 || ef.converged[e][l] != 1) continue;
                    const int n_e = in.exons.length[e];
                    IntVector exon_i(n_e), exon_l(n_e);
                    fill_exon_vector(in.counts, in.exons, e, i, exon_i.get());
                    fill_exon_vector(in.counts, in.exons, e, l, exon_l.get());
                    int valid = 0;
                    double T = 0;
                    lrtmfit2(n_e, n_g, exon_i.get(), gene_i.get(), exon_l.get(), gene_l.get(), ef.lambda[e][i],
                             gf.lambda[g][i], ef.lambda[e][l], gf.lambda[g][l], ef.theta[e][i], gf.theta[g][i],
                             ef.theta[e][l], gf.theta[g][l], valid, T);
                    if (valid != 1) continue;
                    double T_P = 0;
                    lrtp2(n_e, n_g, exon_i.get(), gene_i.get(), exon_l.get(), gene_l.get(), ef.poisson_lambda[e][i],
                          gf.poisson_lambda[g][i], ef.poisson_lambda[e][l], gf.poisson_lambda[g][l], T_P);

                    out.integer(in.exons.exon_id[e]).ch(' ').integer(in.genes.gene_id[g]).ch(' ');
                    out.integer(i).ch(' ').integer(l).ch(' ').fixed6(T).ch(' ').fixed6(T_P);
                    for (double value : {ef.lambda[e][i], gf.lambda[g][i], ef.lambda[e][l], gf.lambda[g][l],
                                         ef.poisson_lambda[e][i], gf.poisson_lambda[g][i], ef.poisson_lambda[e][l],
                                         gf.poisson_lambda[g][l]})
                        out.ch(' ').fixed6(value);
                    out.ch(' ').integer(n_e).ch(' ').integer(n_g);
                    if (permute) {
                        const int row = e - first + 1;
                        const ShareVectors vectors{n_e, n_g, exon_i.get(), gene_i.get(), exon_l.get(), gene_l.get(),
                                                   slices[row][kSliceStart], slices[row][kSliceEnd]};
                        const GammaNull null = share_permutation_test(g, vectors, seed);
                        out.ch(' ').fixed6(null.scale).ch(' ').fixed6(null.shape);
                    }
                    out.endl();
                }
            }
        }
    }
}
