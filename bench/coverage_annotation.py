#!/usr/bin/env python3
# coverage_annotation.py MIN_READS < SAM > GTF: an annotation drawn from the
# reads themselves, for bench/mock-comparison's alignments that come without
# one. Reads SAM records (samtools view of every sample pooled) on standard
# input and writes a GTF: exons are the stretches covered by the pooled
# reads, cut where spliced reads start or end an intron (an alternative
# splice site inside a stretch makes two exons); genes are the exons that
# spliced reads or unbroken coverage join, one transcript each. Junctions need two reads, and
# exons of fewer than MIN_READS pooled reads are left out.
#
# For a mock comparison, where every difference between the groups is noise,
# such an annotation is as good as a curated one: it is drawn from all
# samples pooled, blind to the groups, so it cannot favour any split of them.
# Strands are not known (the libraries are unstranded): every gene is put
# on +.
import re
import sys
from collections import defaultdict

min_reads = int(sys.argv[1])
covered = defaultdict(set)  # chromosome -> covered positions
starts = defaultdict(lambda: defaultdict(int))  # chromosome -> position -> reads starting there
junctions = defaultdict(int)  # (chromosome, last exonic base, first exonic base after) -> reads
for line in sys.stdin:
    if line.startswith("@"):
        continue
    fields = line.split("\t")
    flag, chromosome, position, cigar = int(fields[1]), fields[2], int(fields[3]), fields[5]
    if flag & 0x904 or chromosome == "*" or cigar == "*":
        continue
    here = position
    starts[chromosome][position] += 1
    for length, op in re.findall(r"(\d+)([MIDNSHP=X])", cigar):
        length = int(length)
        if op in "M=X":
            covered[chromosome].update(range(here, here + length))
            here += length
        elif op == "D":
            covered[chromosome].update(range(here, here + length))
            here += length
        elif op == "N":
            junctions[(chromosome, here - 1, here + length)] += 1
            here += length

kept = [j for j, n in junctions.items() if n >= 2]
cuts = defaultdict(set)  # positions where a new exon starts
for chromosome, donor, acceptor in kept:
    cuts[chromosome].add(donor + 1)
    cuts[chromosome].add(acceptor)

exons = []  # (chromosome, start, end, stretch): exons of one stretch of coverage share its number
for chromosome in sorted(covered):
    positions = sorted(covered[chromosome])
    start = previous = positions[0]
    stretch = len(exons)
    for p in positions[1:] + [None]:
        if p is None or p != previous + 1 or p in cuts[chromosome]:
            exons.append((chromosome, start, previous, stretch))
            if p is not None:
                start = p
                if p != previous + 1:
                    stretch = len(exons)
        if p is not None:
            previous = p


def reads_in(chromosome, start, end):
    return sum(n for p, n in starts[chromosome].items() if start <= p <= end)


exons = [e for e in exons if reads_in(*e[:3]) >= min_reads]
parent = list(range(len(exons)))


def root(i):
    while parent[i] != i:
        parent[i] = parent[parent[i]]
        i = parent[i]
    return i


first_of_stretch = {}
for i, e in enumerate(exons):
    parent[root(i)] = root(first_of_stretch.setdefault(e[3], i))
by_end = {(c, e): i for i, (c, _, e, _) in enumerate(exons)}
by_start = {(c, s): i for i, (c, s, _, _) in enumerate(exons)}
for chromosome, donor, acceptor in kept:
    a, b = by_end.get((chromosome, donor)), by_start.get((chromosome, acceptor))
    if a is not None and b is not None:
        parent[root(a)] = root(b)

genes = {}
for i in range(len(exons)):
    genes.setdefault(root(i), []).append(i)
for number, members in enumerate(sorted(genes.values(), key=lambda m: exons[m[0]]), start=1):
    for i in members:
        chromosome, start, end, _ = exons[i]
        print(f'{chromosome}\tcoverage\texon\t{start}\t{end}\t.\t+\t.\tgene_id "cov{number}"; '
              f'transcript_id "cov{number}.1"; gene_name "cov{number}";')
