#!/usr/bin/env python3
# nbcounts.py OUT [SEED] [GENES]: a count dataset of another design than
# simcounts', for bench/calibration-targets, in the same files (reads.txt,
# exon_zb.txt, gene_zb.txt, gtt.txt, truth.tsv; two conditions).
#
# The design: gene levels log-normal over four orders of magnitude; the
# biological variation between the two samples a gamma (negative binomial)
# factor with a dispersion that falls with the level, as dispersion trends
# of real data do (0.02 + 1/(2 level)); positions of a gene weighted by a
# gamma factor (shape 2: fragmentation and mappability bias) times a linear
# 3' bias; exon lengths geometric around 150. Planted: 10% of genes change
# level by a factor 2^±(0.6..2); 5% of the exons of genes with two or more
# exons change their share by the same kind of factor. Counts are Poisson
# around the resulting rates.
import math
import random
import sys

out = sys.argv[1]
seed = int(sys.argv[2]) if len(sys.argv) > 2 else 1
genes = int(sys.argv[3]) if len(sys.argv) > 3 else 1000
rng = random.Random(seed)


def poisson(mean):
    if mean <= 0:
        return 0
    if mean < 30:
        limit, k, p = math.exp(-mean), 0, rng.random()
        while p > limit:
            k += 1
            p *= rng.random()
        return k
    # Large means: normal approximation with continuity correction is
    # enough for a benchmark; rounding keeps counts whole.
    return max(0, int(round(rng.gauss(mean, math.sqrt(mean)))))


def gamma_factor(dispersion):
    # Mean 1, variance `dispersion`.
    shape = 1.0 / dispersion
    return rng.gammavariate(shape, 1.0 / shape)


def effect():
    return 2.0 ** (rng.choice((-1, 1)) * rng.uniform(0.6, 2.0))


rows, exon_lines, gene_lines, truth = [], [], [], []
totals = [0, 0]
exon_id, gene_id = 0, 0
position = 1
for g in range(genes):
    gene_id += 1
    n_exons = 1 + min(int(rng.expovariate(1 / 4.0)), 20)
    lengths = [max(20, min(2000, int(rng.expovariate(1 / 150.0)))) for _ in range(n_exons)]
    level = math.exp(rng.uniform(math.log(0.005), math.log(50)))  # mean reads per position
    dispersion = 0.02 + 1.0 / (2.0 * level * sum(lengths))
    levels = [level * gamma_factor(dispersion), level * gamma_factor(dispersion)]
    if rng.random() < 0.10:
        f = effect()
        levels[1] *= f
        truth.append(f"gene\t{g + 1}\t{gene_id}\t1\t2\t{f:.6f}")
    shares = [[1.0] * n_exons, [1.0] * n_exons]
    first_exon = exon_id + 1
    planted_exons = []
    if n_exons >= 2:
        for e in range(n_exons):
            if rng.random() < 0.05:
                f = effect()
                shares[1][e] *= f
                planted_exons.append((e, f))
    for e in range(n_exons):
        exon_id += 1
        first_row = len(rows) + 1
        weights = [rng.gammavariate(2.0, 0.5) * (0.5 + k / lengths[e]) for k in range(lengths[e])]
        for k in range(lengths[e]):
            counts = []
            for c in (0, 1):
                norm = sum(shares[c][x] * lengths[x] for x in range(n_exons)) / sum(lengths)
                counts.append(poisson(levels[c] * shares[c][e] / norm * weights[k]))
            if counts[0] or counts[1]:
                rows.append(f"1 {position} 1 {counts[0]} {counts[1]}")
                totals[0] += counts[0]
                totals[1] += counts[1]
            position += 1
        exon_lines.append(f"{exon_id} {first_row} {len(rows)} {lengths[e]}")
        for planted, f in planted_exons:
            if planted == e:
                truth.append(f"exon\t{exon_id}\t{exon_id}\t1\t2\t{f:.6f}")
    position += 1000
    gene_lines.append(f"{gene_id} {first_exon} {exon_id} {sum(lengths)}")

import os

os.makedirs(out, exist_ok=True)
for name, lines in (("reads.txt", rows), ("exon_zb.txt", exon_lines), ("gene_zb.txt", gene_lines)):
    with open(f"{out}/{name}", "w") as f:
        f.write("\n".join(lines) + "\n")
with open(f"{out}/gtt.txt", "w") as f:
    for t in totals:
        f.write(f"{t:.6f} {t:.6f}\n")
with open(f"{out}/truth.tsv", "w") as f:
    f.write("kind\tindex\tid\tcondition_a\tcondition_b\teffect\n")
    f.write("\n".join(truth) + "\n")
print(f"num_reads={len(rows)} num_conditions=2 num_exons={exon_id} num_genes={gene_id}")
