#include "share_permutation.h"

#include "arrays.h"
#include "fitrecords.h"
#include "lrtmfit2.h"
#include "mfitmle.h"
#include "nullsummary.h"
#include "random.h"

#include <cstdio>

GammaNull share_permutation_test(int g, const ShareVectors& v, std::int64_t& seed)
{
    IntVector gene_i(v.n_g), gene_l(v.n_g), exon_i(v.n_e), exon_l(v.n_e);
    PermutationSummary summary;
    FitRecord fgi, fgl, fei, fel;
    for (int p = 1; p <= kPermutations; ++p) {
        fPermuteValues(v.gene_i, v.gene_l, gene_i.get(), gene_l.get(), v.n_g, seed);

        int j = 0;
        for (int r = v.slice_start; r <= v.slice_end; ++r) {
            ++j;
            exon_i[j] = gene_i[r];
            exon_l[j] = gene_l[r];
            if (v.exon_i[j] != v.gene_i[r] || v.exon_l[j] != v.gene_l[r]) std::puts("Crap");
        }
        for (int k = j + 1; k <= v.n_e; ++k) exon_i[k] = exon_l[k] = 0;

        if (g == 1) {
            const int common = v.n_e < v.n_g ? v.n_e : v.n_g;
            for (int k = 1; k <= common; ++k)
                if (exon_i[k] != gene_i[k] || exon_l[k] != gene_l[k]) std::puts("Scream!!!!");
        }

        mfitmle(v.n_g, gene_i.get(), fgi.converged, fgi.lambda, fgi.theta, fgi.poisson_lambda);
        mfitmle(v.n_g, gene_l.get(), fgl.converged, fgl.lambda, fgl.theta, fgl.poisson_lambda);
        mfitmle(v.n_e, exon_i.get(), fei.converged, fei.lambda, fei.theta, fei.poisson_lambda);
        mfitmle(v.n_e, exon_l.get(), fel.converged, fel.lambda, fel.theta, fel.poisson_lambda);
        if (fgi.converged != 1 || fgl.converged != 1 || fei.converged != 1 || fel.converged != 1) continue;

        int valid = 0;
        double statistic = 0;
        lrtmfit2(v.n_e, v.n_g, exon_i.get(), gene_i.get(), exon_l.get(), gene_l.get(), fei.lambda, fgi.lambda,
                 fel.lambda, fgl.lambda, fei.theta, fgi.theta, fel.theta, fgl.theta, valid, statistic);
        if (valid == 1) nulladd(summary, statistic);
    }
    nullgamma(summary);
    return {summary.scale, summary.shape};
}
