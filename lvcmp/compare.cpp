#include "compare.h"

#include "arrays.h"
#include "lrtmfit.h"
#include "lrtp.h"
#include "level_permutation.h"

#include <cstdio>

void compare_levels(const LevelInputs& in, bool permute, std::int64_t& seed, OutputFile& out)
{
    const int C = in.counts.num_conditions;
    const FitTable& fit = in.gene_fits;
    for (int g = 1; g <= in.genes.num_genes; ++g) {
        const int L = in.genes.length[g];
        IntVector x(L), y(L);
        for (int i = 1; i <= C - 1; ++i) {
            fill_gene_vector(in.counts, in.exons, in.genes, g, i, x.get());
            for (int j = i + 1; j <= C; ++j) {
                fill_gene_vector(in.counts, in.exons, in.genes, g, j, y.get());
                int valid = -1;
                double gp_statistic = 0;
                if (fit.converged[g][i] == 1 && fit.converged[g][j] == 1)
                    lrtmfit(L, x.get(), L, y.get(), valid, gp_statistic,
                            in.totals.general_total[j] / in.totals.general_total[i], fit.theta[g][i],
                            fit.theta[g][j], fit.lambda[g][i], fit.lambda[g][j]);
                double p_statistic = 0;
                if (valid != 1) std::printf("%d\n", g);
                lrtp(L, x.get(), L, y.get(), p_statistic, in.totals.poisson_total[j] / in.totals.poisson_total[i],
                     fit.poisson_lambda[g][i], fit.poisson_lambda[g][j]);

                out.integer(in.genes.gene_id[g]).ch(' ').integer(i).ch(' ').integer(j).ch(' ');
                if (valid == 1) {
                    out.fixed6(gp_statistic).ch(' ').fixed6(p_statistic).ch(' ');
                    out.fixed6(fit.lambda[g][i]).ch(' ').fixed6(fit.lambda[g][j]).ch(' ');
                } else {
                    out.text("-1 ").fixed6(p_statistic).text(" -1 -1 ");
                }
                out.fixed6(fit.poisson_lambda[g][i]).ch(' ').fixed6(fit.poisson_lambda[g][j]).ch(' ').integer(L);
                if (permute) {
                    if (valid == 1) {
                        const GammaNull null = level_permutation_test(x.get(), y.get(), L, seed);
                        out.ch(' ').fixed6(null.scale).ch(' ').fixed6(null.shape);
                    } else {
                        out.text(" -1 -1");
                    }
                }
                out.endl();
            }
        }
    }
}
