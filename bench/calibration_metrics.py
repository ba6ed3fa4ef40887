#!/usr/bin/env python3
# calibration_metrics.py: the figures of bench/calibration-targets.
#
#   calibration_metrics.py sums DATASET
#       writes DATASET/gene_counts.txt ("id a b") and DATASET/exon_counts.txt
#       ("exon gene a b"): each gene's and exon's reads in conditions 1 and 2,
#       from reads.txt, exon_zb.txt and gene_zb.txt, for the reference tests.
#   calibration_metrics.py rows LABEL KIND TRUTH TABLE [ID_COLUMN]
#       prints one markdown row per p-value column of TABLE (a sigtable table,
#       or deseq2.tsv/dexseq.tsv): the null comparisons with p < 0.05, the
#       discoveries at padj <= 0.05, the share of them that is false (the
#       realised FDR) and the power. KIND is gene or exon; TRUTH is
#       simcounts' truth.tsv: comparisons it does not list are null.
import sys


def sums(dataset):
    reads = []
    with open(f"{dataset}/reads.txt") as f:
        for line in f:
            fields = line.split()
            reads.append((int(fields[3]), int(fields[4])))
    exons = []
    with open(f"{dataset}/exon_zb.txt") as f:
        for line in f:
            exon, first, last, _ = (int(v) for v in line.split())
            a = sum(r[0] for r in reads[first - 1:last])
            b = sum(r[1] for r in reads[first - 1:last])
            exons.append((exon, a, b))
    with open(f"{dataset}/gene_zb.txt") as f, open(f"{dataset}/gene_counts.txt", "w") as g, \
            open(f"{dataset}/exon_counts.txt", "w") as e:
        for line in f:
            gene, first, last, _ = (int(v) for v in line.split())
            members = exons[first - 1:last]
            g.write(f"{gene} {sum(x[1] for x in members)} {sum(x[2] for x in members)}\n")
            for exon, a, b in members:
                e.write(f"{exon} {gene} {a} {b}\n")


def number(text):
    try:
        return float(text)
    except ValueError:
        return float("nan")


def rows(label, kind, truth_path, table_path, id_column=None):
    planted = set()
    with open(truth_path) as f:
        next(f)
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if fields[0] == kind:
                planted.add(fields[2])
    with open(table_path) as f:
        header = f.readline().rstrip("\n").split("\t")
        lines = [line.rstrip("\n").split("\t") for line in f]
    if id_column is None:
        id_column = "gene_index" if kind == "gene" else "exon_index"
    key = header.index(id_column)
    for p_index, name in enumerate(header):
        if not name.startswith("pvalue"):
            continue
        padj_name = "padj" + name[len("pvalue"):]
        if padj_name not in header:
            continue
        q_index = header.index(padj_name)
        null = [number(l[p_index]) for l in lines if l[key].lstrip("e") not in planted]
        null = [p for p in null if p == p]
        changed = [l for l in lines if l[key].lstrip("e") in planted and number(l[p_index]) == number(l[p_index])]
        found = [l for l in lines if number(l[q_index]) <= 0.05]
        false = sum(1 for l in found if l[key].lstrip("e") not in planted)
        true = len(found) - false
        share = 100.0 * sum(1 for p in null if p < 0.05) / len(null) if null else float("nan")
        fdr = 100.0 * false / len(found) if found else 0.0
        power = true / len(changed) if changed else float("nan")
        print(f"| {label} | {name} | {len(null)} | {share:.1f}% | {len(found)} | {fdr:.0f}% | {power:.2f} |")


if __name__ == "__main__":
    if sys.argv[1] == "sums":
        sums(sys.argv[2])
    else:
        rows(*sys.argv[2:])
