# reference_tests.R GENES EXONS OUT_DIR: the field's standard tests on the same
# counts, for bench/calibration-targets. GENES is a table "id count_1 count_2"
# of reads per gene, EXONS "exon gene count_1 count_2" of reads per exon; one
# sample per condition. Writes OUT_DIR/deseq2.tsv (id pvalue padj) and
# OUT_DIR/dexseq.tsv (exon pvalue padj).
#
# With one sample per condition neither tool can estimate dispersions from
# replicates, so both estimate them blind, treating the two samples as
# replicates of one condition (design ~1, or ~sample + exon for exon usage),
# and then test the condition. A changed gene's own blind dispersion holds
# its change, and both tools keep the own estimate of a gene far above the
# trend, so each feature is tested with the fitted trend's dispersion at its
# level instead: the trend is learnt from the mostly unchanged rest.
suppressPackageStartupMessages({
  library(DESeq2)
  library(DEXSeq)
})
args <- commandArgs(trailingOnly = TRUE)
genes <- read.table(args[1], header = FALSE, col.names = c("id", "a", "b"))
exons <- read.table(args[2], header = FALSE, col.names = c("exon", "gene", "a", "b"))
out <- args[3]

counts <- as.matrix(genes[, c("a", "b")])
rownames(counts) <- genes$id
coldata <- data.frame(condition = factor(c("a", "b")), row.names = c("a", "b"))
dds <- DESeqDataSetFromMatrix(counts, coldata, design = ~1)
dds <- estimateSizeFactors(dds)
dds <- estimateDispersions(dds, quiet = TRUE)
dispersions(dds) <- mcols(dds)$dispFit
design(dds) <- ~condition
dds <- nbinomWaldTest(dds, quiet = TRUE)
res <- results(dds, contrast = c("condition", "b", "a"))
write.table(data.frame(id = rownames(res), pvalue = res$pvalue, padj = res$padj), file.path(out, "deseq2.tsv"),
            sep = "\t", quote = FALSE, row.names = FALSE)

# Genes with at least two exons: DEXSeq tests an exon against the rest of its gene.
multi <- exons[exons$gene %in% names(which(table(exons$gene) >= 2)), ]
ecounts <- as.matrix(multi[, c("a", "b")])
rownames(ecounts) <- paste0("e", multi$exon)
sampledata <- data.frame(condition = factor(c("a", "b")), row.names = c("a", "b"))
dxd <- DEXSeqDataSet(ecounts, sampledata, design = ~ sample + exon + condition:exon,
                     featureID = factor(multi$exon), groupID = factor(multi$gene))
dxd <- estimateSizeFactors(dxd)
dxd <- estimateDispersions(dxd, formula = ~ sample + exon, quiet = TRUE)
dispersions(dxd) <- mcols(dxd)$dispFit
dxd <- testForDEU(dxd)
dxr <- DEXSeqResults(dxd)
write.table(data.frame(exon = as.character(dxr$featureID), pvalue = dxr$pvalue, padj = dxr$padj),
            file.path(out, "dexseq.tsv"), sep = "\t", quote = FALSE, row.names = FALSE)
