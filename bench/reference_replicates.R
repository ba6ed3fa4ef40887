# reference_replicates.R GENES EXONS DESIGN OUT_DIR: the field's standard tests
# on an experiment with replicates, for bench/condition-targets and
# bench/mock-comparison. GENES is a tab-separated table with a header
# "id SAMPLE..." of reads per gene and sample, EXONS one with a header
# "exon gene SAMPLE..." of reads per exon; DESIGN is the design file
# (sample, condition; header optional). Writes OUT_DIR/deseq2.tsv and
# OUT_DIR/dexseq.tsv with the columns id (or exon), condition_a,
# condition_b, pvalue, padj: one row per feature and pair of conditions
# (DESeq2), or per exon (DEXSeq, whose test asks whether the exon's usage
# differs between any of the conditions; its rows name the first two).
#
# Both run as their manuals say for replicates, nothing tuned: DESeq2 with
# design ~condition, DESeq() (median-of-ratios size factors, gene-wise
# dispersions shrunk to the trend, Wald test), results() with independent
# filtering at alpha 0.05, the cut the benchmark reads; DEXSeq with
# ~sample + exon + condition:exon, its own size factors and dispersions and
# its likelihood ratio test against ~sample + exon, DEXSeqResults() with its
# default independent filtering. Only where no dispersion trend can be
# fitted (a few features of technical replicates, see below) does either
# depart from that. DEXSeq needs two exons in a gene to compare one with the
# rest, so exons of single-exon genes get no row.
suppressPackageStartupMessages({
  library(DESeq2)
  library(DEXSeq)
  library(BiocParallel)
})
args <- commandArgs(trailingOnly = TRUE)
genes <- read.delim(args[1], check.names = FALSE)
exons <- read.delim(args[2], check.names = FALSE)
design_lines <- strsplit(readLines(args[3]), "\t")
design_lines <- design_lines[vapply(design_lines, length, 1L) >= 2]
if (design_lines[[1]][1] == "sample" && design_lines[[1]][2] == "condition") design_lines <- design_lines[-1]
samples <- vapply(design_lines, `[`, "", 1)
conditions <- vapply(design_lines, `[`, "", 2)
levels_in_order <- unique(conditions)
out <- args[4]
workers <- if (length(args) >= 5) as.integer(args[5]) else 1L
parallel <- if (workers > 1) MulticoreParam(workers) else SerialParam()
cat("DESeq2", as.character(packageVersion("DESeq2")), "DEXSeq", as.character(packageVersion("DEXSeq")), "\n")

coldata <- data.frame(condition = factor(conditions, levels = levels_in_order), row.names = samples)
counts <- as.matrix(genes[, samples])
rownames(counts) <- genes$id
dds <- DESeqDataSetFromMatrix(counts, coldata, design = ~condition)
# With a handful of genes (the mock comparisons on real data) no dispersion
# trend can be fitted; DESeq2's own advice then is to test with the
# gene-wise estimates, and the log says so.
dds <- tryCatch(DESeq(dds, quiet = TRUE, parallel = workers > 1, BPPARAM = parallel), error = function(e) {
  cat("DESeq2: no dispersion trend (", conditionMessage(e), "): gene-wise dispersions\n")
  dds <- estimateSizeFactors(dds)
  dds <- estimateDispersionsGeneEst(dds)
  dispersions(dds) <- mcols(dds)$dispGeneEst
  nbinomWaldTest(dds, quiet = TRUE)
})
rows <- list()
for (i in seq_along(levels_in_order)) {
  for (j in seq_along(levels_in_order)) {
    if (j <= i) next
    a <- levels_in_order[i]
    b <- levels_in_order[j]
    res <- results(dds, contrast = c("condition", b, a), alpha = 0.05)
    rows[[length(rows) + 1]] <- data.frame(id = rownames(res), condition_a = a, condition_b = b,
                                           baseMean = res$baseMean, log2FoldChange = res$log2FoldChange,
                                           pvalue = res$pvalue, padj = res$padj)
  }
}
write.table(do.call(rbind, rows), file.path(out, "deseq2.tsv"), sep = "\t", quote = FALSE, row.names = FALSE)

multi <- exons[exons$gene %in% names(which(table(exons$gene) >= 2)), ]
ecounts <- as.matrix(multi[, samples])
rownames(ecounts) <- paste0(multi$gene, ":", multi$exon)
# DEXSeq stops where it cannot fit its dispersion trend (a few dozen exons of
# technical replicates, whose dispersions are all near zero): the log says
# so and dexseq.tsv is not written.
dxr <- tryCatch({
  dxd <- DEXSeqDataSet(ecounts, coldata, design = ~ sample + exon + condition:exon,
                       featureID = factor(multi$exon), groupID = factor(multi$gene))
  dxd <- estimateSizeFactors(dxd)
  dxd <- estimateDispersions(dxd, BPPARAM = parallel, quiet = TRUE)
  dxd <- testForDEU(dxd, BPPARAM = parallel)
  DEXSeqResults(dxd)
}, error = function(e) {
  cat("DEXSeq: failed (", conditionMessage(e), "): no dexseq.tsv\n")
  NULL
})
if (!is.null(dxr)) {
  write.table(data.frame(exon = as.character(dxr$featureID), condition_a = levels_in_order[1],
                         condition_b = levels_in_order[2], pvalue = dxr$pvalue, padj = dxr$padj),
              file.path(out, "dexseq.tsv"), sep = "\t", quote = FALSE, row.names = FALSE)
}
