#!/usr/bin/env python3
# condition_metrics.py: the figures of bench/condition-targets and
# bench/mock-comparison, on experiments with replicates.
#
#   condition_metrics.py sums DATASET
#       writes DATASET/gene_counts.tsv ("id SAMPLE...") and
#       DATASET/exon_counts.tsv ("exon gene SAMPLE..."): each gene's and
#       exon's reads per sample, from reads.txt, exon_zb.txt, gene_zb.txt and
#       design.tsv (which names the samples, in column order), for the
#       reference tests.
#   condition_metrics.py rows LABEL KIND DATASET NAME=TABLE[:ID_COLUMN]...
#       prints one markdown row per table and p-value column (pvalue with
#       padj, pvalue_x with padj_x): the comparisons tested, the null ones
#       tested and the share of them with p < 0.05, the discoveries at
#       padj <= 0.05, the share of them that is false (the realised FDR), the
#       power and the power relative to the first table's first column (the
#       reference). KIND is gene or exon; DATASET holds truth.tsv (the
#       comparisons it does not list are null, but for those a planted exon
#       changes, which are left out: see below), exon_zb.txt and
#       gene_zb.txt; "-" for none. The power is the share of truth's planted
#       comparisons found, over all of them, so that methods that test
#       different sets of features are measured against the same list.
#   condition_metrics.py share LABEL NAME=TABLE...
#       for mock comparisons, where every comparison is null: per NAME and
#       p-value column, the comparisons tested and the share of them at
#       padj <= 0.05 and at p < 0.05; the tables given one NAME are pooled.
#
# A comparison is a feature and a pair of conditions. Tables with the
# columns condition_a and condition_b key their rows by the pair too (the
# order within the pair does not matter); others by the feature alone.
import sys


def read_design(path):
    samples = []
    with open(path) as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if len(fields) < 2 or not fields[0]:
                continue
            if not samples and fields[0] == "sample" and fields[1] == "condition":
                continue
            samples.append((fields[0], fields[1]))
    return samples


def sums(dataset):
    samples = [s for s, _ in read_design(f"{dataset}/design.tsv")]
    n = len(samples)
    # Prefix sums over the reads file's rows: exons are row ranges.
    prefix = [[0] * n]
    with open(f"{dataset}/reads.txt") as f:
        for line in f:
            counts = [int(v) for v in line.split()[3:3 + n]]
            prefix.append([a + b for a, b in zip(prefix[-1], counts)])
    exons = []
    with open(f"{dataset}/exon_zb.txt") as f:
        for line in f:
            exon, first, last, _ = (int(v) for v in line.split())
            exons.append((exon, [prefix[last][c] - prefix[first - 1][c] for c in range(n)]))
    with open(f"{dataset}/gene_zb.txt") as f, open(f"{dataset}/gene_counts.tsv", "w") as g, \
            open(f"{dataset}/exon_counts.tsv", "w") as e:
        g.write("\t".join(["id"] + samples) + "\n")
        e.write("\t".join(["exon", "gene"] + samples) + "\n")
        for line in f:
            gene, first, last, _ = (int(v) for v in line.split())
            members = exons[first - 1:last]
            totals = [sum(x[1][c] for x in members) for c in range(n)]
            g.write("\t".join(str(v) for v in [gene] + totals) + "\n")
            for exon, counts in members:
                e.write("\t".join(str(v) for v in [exon, gene] + counts) + "\n")


def number(text):
    try:
        return float(text)
    except ValueError:
        return float("nan")


def read_table(table_arg, kind):
    name, path = table_arg.split("=", 1)
    id_column = None
    if ":" in path:
        path, id_column = path.rsplit(":", 1)
    with open(path) as f:
        header = f.readline().rstrip("\n").split("\t")
        lines = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    if id_column is None:
        id_column = "gene_index" if kind == "gene" else "exon_index"
    key = header.index(id_column) if id_column in header else 0
    if "condition_a" in header and "condition_b" in header:
        a, b = header.index("condition_a"), header.index("condition_b")
        keys = [(l[key].lstrip("e"), frozenset((l[a], l[b]))) for l in lines]
    else:
        keys = [(l[key].lstrip("e"), None) for l in lines]
    return name, header, lines, keys


def columns(header):
    for index, column in enumerate(header):
        if column.startswith("pvalue") and "padj" + column[len("pvalue"):] in header:
            yield column, index, header.index("padj" + column[len("pvalue"):])


def gene_of_exon(dataset):
    exon_ids = [line.split()[0] for line in open(f"{dataset}/exon_zb.txt")]
    owner = {}
    for line in open(f"{dataset}/gene_zb.txt"):
        gene, first, last = line.split()[:3]
        for exon in exon_ids[int(first) - 1:int(last)]:
            owner[exon] = gene
    return owner


def rows(label, kind, dataset, *tables):
    planted, exons = set(), []
    if dataset != "-":
        with open(f"{dataset}/truth.tsv") as f:
            next(f)
            for line in f:
                fields = line.rstrip("\n").split("\t")
                if len(fields) >= 5:
                    pair = frozenset((fields[3], fields[4]))
                    if fields[0] == kind:
                        planted.add((fields[2], pair))
                    if fields[0] == "exon":
                        exons.append((fields[2], pair))
    # A planted exon changes more than itself: its gene's level (simcounts
    # scales the exon's rate alone) and the other exons' shares of the gene.
    # Neither is listed as planted nor null; such comparisons are left out.
    unclear = set()
    if exons:
        owner = gene_of_exon(dataset)
        touched = {(owner[e], pair) for e, pair in exons}
        if kind == "gene":
            unclear = touched - planted
        else:
            unclear = {(e, pair) for e, g in owner.items() for _, pair in exons if (g, pair) in touched}
            unclear -= planted
    planted_ids = {p[0] for p in planted}
    unclear_ids = {p[0] for p in unclear}

    def is_planted(k):
        return k in planted if k[1] is not None else k[0] in planted_ids

    def is_unclear(k):
        return k in unclear if k[1] is not None else k[0] in unclear_ids

    reference_power = None
    for table_arg in tables:
        name, header, lines, keys = read_table(table_arg, kind)
        for column, p_index, q_index in columns(header):
            tested = [(k, number(l[p_index]), number(l[q_index])) for k, l in zip(keys, lines)
                      if number(l[p_index]) == number(l[p_index]) and not is_unclear(k)]
            null = [p for k, p, _ in tested if not is_planted(k)]
            found = [k for k, _, q in tested if q <= 0.05]
            false = sum(1 for k in found if not is_planted(k))
            true = len(found) - false
            share = 100.0 * sum(1 for p in null if p < 0.05) / len(null) if null else float("nan")
            fdr = f"{100.0 * false / len(found):.0f}%" if found else "-"
            power = true / len(planted) if planted else float("nan")
            if reference_power is None:
                reference_power = power
            relative = f"{power / reference_power:.2f}" if reference_power and power == power else "-"
            shown = f"{power:.2f}" if power == power else "-"
            print(f"| {label} | {name} | {column} | {len(tested)} | {len(null)} | {share:.1f}% | {len(found)} | "
                  f"{fdr} | {shown} | {relative} |")


def share(label, *tables):
    # Tables of one name (a method's tables of several mocks) are pooled.
    pooled = {}
    for table_arg in tables:
        name, header, lines, _ = read_table(table_arg, "gene")
        for column, p_index, q_index in columns(header):
            counts = pooled.setdefault((name, column), [0, 0, 0])
            for l in lines:
                p, q = number(l[p_index]), number(l[q_index])
                if p == p:
                    counts[0] += 1
                    counts[1] += q <= 0.05
                    counts[2] += p < 0.05
    for (name, column), (tested, at_q, at_p) in pooled.items():
        shown = (lambda k: f"{k} ({100.0 * k / tested:.1f}%)") if tested else (lambda k: "-")
        print(f"| {label} | {name} | {column} | {tested} | {shown(at_q)} | {shown(at_p)} |")


if __name__ == "__main__":
    if sys.argv[1] == "sums":
        sums(sys.argv[2])
    elif sys.argv[1] == "rows":
        rows(*sys.argv[2:])
    elif sys.argv[1] == "share":
        share(*sys.argv[2:])
    else:
        sys.exit(f"condition_metrics.py: unknown command '{sys.argv[1]}'")
