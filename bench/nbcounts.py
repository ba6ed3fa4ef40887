#!/usr/bin/env python3
# nbcounts.py OUT [SEED] [GENES] [--replicates N]: a count dataset of another
# design than simcounts', for bench/calibration-targets, in the same files
# (reads.txt, exon_zb.txt, gene_zb.txt, gtt.txt, truth.tsv; two conditions).
#
# --replicates N (1..100, also --replicates=N) gives each condition N sample
# columns, condition-major, and writes design.tsv as simcounts does (header
# sample<TAB>condition, then c1_r1<TAB>c1 ... c2_rN<TAB>c2); truth.tsv then
# names the conditions c1 and c2. Each column draws its own gamma factor (the
# variation between samples) and its own counts; the planted effects apply
# to all of condition 2's columns. Without the option the files are those of
# earlier versions, byte for byte, and --replicates 1 differs from them only
# by design.tsv and the names in truth.tsv.
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



def parse(argv):
    args, replicates, i = [], None, 0
    while i < len(argv):
        arg = argv[i]
        if arg == "--replicates" or arg.startswith("--replicates="):
            if arg == "--replicates":
                i += 1
                value = argv[i] if i < len(argv) else ""
            else:
                value = arg.partition("=")[2]
            if not (value.isdigit() and 1 <= int(value) <= 100):
                sys.exit(f"nbcounts.py: --replicates expects a whole number from 1 to 100, found '{value}'")
            replicates = int(value)
        else:
            args.append(arg)
        i += 1
    if not 1 <= len(args) <= 3:
        sys.exit("usage: nbcounts.py OUT [SEED] [GENES] [--replicates N]")
    return args, replicates


args, replicates = parse(sys.argv[1:])
out = args[0]
seed = int(args[1]) if len(args) > 1 else 1
genes = int(args[2]) if len(args) > 2 else 1000
rng = random.Random(seed)
# Sample columns: N per condition, condition-major; without --replicates one
# per condition, drawn in the order of earlier versions.
per_condition = replicates or 1
columns = [(c, r) for c in (0, 1) for r in range(per_condition)]
named = replicates is not None


def condition_name(c):
    return f"c{c + 1}" if named else str(c + 1)


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
totals = [0] * len(columns)
a_name, b_name = condition_name(0), condition_name(1)
exon_id, gene_id = 0, 0
position = 1
for g in range(genes):
    gene_id += 1
    n_exons = 1 + min(int(rng.expovariate(1 / 4.0)), 20)
    lengths = [max(20, min(2000, int(rng.expovariate(1 / 150.0)))) for _ in range(n_exons)]
    level = math.exp(rng.uniform(math.log(0.005), math.log(50)))  # mean reads per position
    dispersion = 0.02 + 1.0 / (2.0 * level * sum(lengths))
    levels = [level * gamma_factor(dispersion) for _ in columns]
    if rng.random() < 0.10:
        f = effect()
        for j, (c, _) in enumerate(columns):
            if c == 1:
                levels[j] *= f
        truth.append(f"gene\t{g + 1}\t{gene_id}\t{a_name}\t{b_name}\t{f:.6f}")
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
            for j, (c, _) in enumerate(columns):
                norm = sum(shares[c][x] * lengths[x] for x in range(n_exons)) / sum(lengths)
                counts.append(poisson(levels[j] * shares[c][e] / norm * weights[k]))
            if any(counts):
                rows.append(f"1 {position} 1 " + " ".join(map(str, counts)))
                for j, n in enumerate(counts):
                    totals[j] += n
            position += 1
        exon_lines.append(f"{exon_id} {first_row} {len(rows)} {lengths[e]}")
        for planted, f in planted_exons:
            if planted == e:
                truth.append(f"exon\t{exon_id}\t{exon_id}\t{a_name}\t{b_name}\t{f:.6f}")
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
if named:
    with open(f"{out}/design.tsv", "w") as f:
        f.write("sample\tcondition\n")
        for c, r in columns:
            f.write(f"c{c + 1}_r{r + 1}\tc{c + 1}\n")
print(f"num_reads={len(rows)} num_conditions={len(columns)} num_exons={exon_id} num_genes={gene_id}")
