#!/usr/bin/env bash
# workflow_test.sh BIN SRC: the Snakemake workflow (SRC/workflow) with the
# programs in BIN, on the bundled example. The gathered files of a sharded run
# (also with empty shards, and with the size factors as totals) must be byte
# for byte those of one whole run of each program, and sigtable's tables those
# of sigtable on them; dry runs with the SLURM profile and from Snakemake's
# standard layout must plan the expected jobs; replicates run sigtable
# --design as well; bad configs are refused before any job. Exit 77 (skipped) where Debian's snakemake is not installed.
set -euo pipefail
bin=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
snakemake=/usr/bin/snakemake
if [ ! -x "$snakemake" ]; then
  echo "workflow_test: skipped: $snakemake is not installed (apt-get install snakemake, or tools/install-deps as root)"
  exit 77
fi
ex=$src/examples
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0
failed=0
pass() { echo "ok: $1"; passed=$((passed + 1)); }
fail() { echo "FAILED: $1"; failed=$((failed + 1)); }

# Runs the workflow in its own directory DIR with the example config and the
# overrides that follow.
workflow() {
  local dir=$1
  shift
  mkdir -p "$dir"
  "$snakemake" --snakefile "$src/workflow/Snakefile" --configfile "$src/config/config.yaml" \
    --directory "$dir" "$@"
}

# The "Job stats" table of a dry run as "rule count" lines, sorted.
job_counts() {
  awk '/^Job stats:/ {on = 1; next} on && /^total/ {exit} on && NF == 4 && $2 ~ /^[0-9]+$/ {print $1, $2}' "$1" | sort
}

# One whole run of mfit, and of lvcmp and isocmp on the genes RANGE in
# per-comparison streams (permutation tests on when PERMUTE is 1), on the
# count tables in TABLES (default the example's) with the totals file TOTALS
# (default TABLES/gtt.txt): what the workflow's gathered files must be.
whole_runs() {
  local out=$1 range=$2 permute=$3 tables=${4:-$ex}
  local totals=${5:-$tables/gtt.txt}
  mkdir -p "$out"
  local sizes=("$(wc -l <"$tables/reads.txt")" "$(($(head -n 1 "$tables/reads.txt" | wc -w) - 3))" "$tables/reads.txt"
    "$(wc -l <"$tables/exon_zb.txt")" "$tables/exon_zb.txt" "$(wc -l <"$tables/gene_zb.txt")" "$tables/gene_zb.txt")
  "$bin/mfit" --threads=2 "${sizes[@]}" "$out/exon_re.txt" "$out/gene_re.txt" "$out/chisq_re.txt" >/dev/null
  "$bin/lvcmp" --threads=2 --genes="$range" --streams=comparison "${sizes[@]}" "$out/gene_re.txt" "$out/exon_re.txt" \
    "$totals" "$out/lvcmp_re.txt" "$permute" -81079 >/dev/null
  "$bin/isocmp" --threads=2 --genes="$range" --streams=comparison "${sizes[@]}" "$out/gene_re.txt" "$out/exon_re.txt" \
    "$out/isocmp_re.txt" "$permute" -81079 >/dev/null
}

same_files() {
  local what=$1 got=$2 want=$3 f ok=1
  for f in exon_re.txt gene_re.txt chisq_re.txt lvcmp_re.txt isocmp_re.txt; do
    if ! cmp -s "$got/$f" "$want/$f"; then
      echo "  $f differs: $got/$f against $want/$f"
      ok=0
    fi
  done
  if ((ok)) && [ -s "$want/isocmp_re.txt" ]; then pass "$what"; else fail "$what"; fi
}

# --- A sharded run with the permutation tests in per-comparison streams, in 3
# shards: mfit on the whole example, the comparisons on its first 9 genes (a
# few seconds; the whole example's 40 take about 20 s, longer under the
# sanitizers).
start=$SECONDS
if workflow "$tmp/run" --config bin="$bin" out="$tmp/run/out" tables="$ex" genes=1-9 \
  --cores 2 -q >"$tmp/run.log" 2>&1; then
  pass "sharded run from the example's tables ($((SECONDS - start)) s)"
else
  fail "sharded run from the example's tables"
  tail -n 30 "$tmp/run.log"
fi
out=$tmp/run/out
want_shards='program shard first last
mfit 1 1 13
mfit 2 14 26
mfit 3 27 40
comparisons 1 1 3
comparisons 2 4 6
comparisons 3 7 9'
if [ "$(tr '\t' ' ' <"$out/shards.tsv")" = "$want_shards" ]; then
  pass "mfit's 40 genes split into 1-13, 14-26, 27-40, the comparisons' 1-9 into 1-3, 4-6, 7-9"
else
  fail "shard ranges: $(tr '\n\t' '; ' <"$out/shards.tsv")"
fi
whole_runs "$tmp/whole" 1-9 1
same_files "gathered mfit, lvcmp and isocmp files equal whole runs" "$out" "$tmp/whole"
# The shards read their lines through the tables' indexes, which every one
# took without a warning.
if [ -s "$ex/exon_zb.txt.idx" ] && [ -s "$ex/gene_zb.txt.idx" ] && [ -s "$out/gene_re.txt.idx" ] &&
  [ -s "$out/exon_re.txt.idx" ] && ! grep -l warning "$out"/logs/*/shard*.log; then
  pass "the annotation and the gathered fits are indexed, and every shard takes the indexes"
else
  fail "indexes of the annotation and the fits"
fi

# The tables come from the gathered files, the tables folder and the
# gathered gene_re: the same as sigtable on whole runs.
for kind in lvcmp isocmp; do
  "$bin/sigtable" --stats "$tmp/whole/${kind}_re.txt" --tables "$ex" --gtt "$ex/gtt.txt" \
    --gene-re "$tmp/whole/gene_re.txt" --out "$tmp/whole/${kind}_table.tsv" --sort >/dev/null
done
if cmp -s "$out/lvcmp_table.tsv" "$tmp/whole/lvcmp_table.tsv" && cmp -s "$out/isocmp_table.tsv" "$tmp/whole/isocmp_table.tsv" &&
  [ -s "$out/plots/lvcmp/volcano_1_2.svg" ] && [ -s "$out/plots/isocmp/ma_3_4.svg" ]; then
  pass "sigtable tables equal those of whole runs, plots written"
else
  fail "sigtable tables or plots"
fi
# sigtable reads the gathered gene_re (in out/, not in the tables folder): an
# lvcmp row says the fit did not converge exactly where gene_re's converged
# field (the third of each condition's four) is 0 in one of its conditions.
if awk 'NR == FNR {for (c = 1; 4 * c + 1 <= NF; c++) unfit[$1, c] = $(4 * c + 1) == 0; next}
  FNR == 1 {for (i = 1; i <= NF; i++) col[$i] = i; next}
  {want = unfit[$1, $2] || unfit[$1, $3]; n += want
   if (want != (index($col["test_status"], "fit did not converge in ") == 1)) bad++}
  END {exit !(n > 0 && bad == 0)}' FS=' ' "$out/gene_re.txt" FS='\t' "$out/lvcmp_table.tsv"; then
  pass "sigtable reads the gathered gene_re: 'fit did not converge in ...' where gene_re says so"
else
  fail "sigtable and the gathered gene_re: test_status disagrees with gene_re's converged fields"
fi
if workflow "$tmp/run" --config bin="$bin" out="$tmp/run/out" tables="$ex" genes=1-9 --cores 2 -n 2>&1 |
  grep -q "Nothing to be done"; then
  pass "a finished run has nothing left to do"
else
  fail "a finished run plans jobs again"
fi

# --- More shards than genes, a range not starting at gene 1, no permutations,
# on the example's first 3 genes: mfit's shard 1 and the comparisons' shards 1
# and 3 have no genes, and every file of an empty shard is there and empty.
small=$tmp/small
mkdir -p "$small"
head -n 3 "$ex/gene_zb.txt" >"$small/gene_zb.txt"
last_exon=$(awk 'END {print $3}' "$small/gene_zb.txt")
head -n "$last_exon" "$ex/exon_zb.txt" >"$small/exon_zb.txt"
head -n "$(awk 'END {print $3}' "$small/exon_zb.txt")" "$ex/reads.txt" >"$small/reads.txt"
cp "$ex/gtt.txt" "$small/"
if workflow "$tmp/few" --config bin="$bin" out="$tmp/few/out" tables="$small" genes=2-3 shards=4 permute=false \
  plots=false --cores 2 -q >"$tmp/few.log" 2>&1; then
  whole_runs "$tmp/few-whole" 2-3 0 "$small"
  same_files "4 shards over 3 genes (mfit's first shard empty), genes 2-3 compared: equal whole runs" \
    "$tmp/few/out" "$tmp/few-whole"
else
  fail "4 shards over 3 genes, genes 2-3 compared"
  tail -n 30 "$tmp/few.log"
fi

# --- From alignment files: bamcount names the conditions, and sigtable reads
# its whole folder, so the tables carry the names and the annotation's ids.
mkdir -p "$tmp/bam"
printf 'chr1\tt\texon\t%s\t%s\t.\t+\t.\tgene_id "G%s"; transcript_id "T%s";\n' \
  1 100 1 1 201 300 2 2 351 400 2 2 >"$tmp/bam/genes.gtf"
sam() { # sam NAME POSITION...: a SAM file of one 10-base read at each position
  local name=$1 position
  shift
  printf '@SQ\tSN:chr1\tLN:1000\n' >"$tmp/bam/$name.sam"
  for position; do
    printf 'r%s\t0\tchr1\t%s\t60\t10M\t*\t0\t0\tACGTACGTAC\tIIIIIIIIII\n' "$position" "$position" >>"$tmp/bam/$name.sam"
  done
}
sam liver 5 5 7 30 30 30 210 210 250 260 360 380 380
sam brain 5 9 9 40 40 212 212 212 230 250 250 260 270 290 355 360
printf 'conditions:\n  liver: %s\n  brain: %s\nannotation: %s\n' \
  "$tmp/bam/liver.sam" "$tmp/bam/brain.sam" "$tmp/bam/genes.gtf" >"$tmp/bam/config.yaml"
if workflow "$tmp/bam/run" --configfile "$tmp/bam/config.yaml" --config bin="$bin" out="$tmp/bam/out" tables= \
  shards=2 totals=size_factors --cores 2 -q >"$tmp/bam/run.log" 2>&1 &&
  [ "$(cut -f1,2,8,9 "$tmp/bam/out/lvcmp_table.tsv")" = "$(printf 'gene_index\tgene_id\tcondition_a\tcondition_b\n2\tG2\tliver\tbrain\n1\tG1\tliver\tbrain')" ] &&
  [ "$(cut -f2 "$tmp/bam/out/tables/conditions.tsv")" = "$(printf 'name\nliver\nbrain')" ]; then
  pass "from alignment files: the tables name the conditions and genes"
else
  fail "from alignment files"
  tail -n 30 "$tmp/bam/run.log"
  cat "$tmp/bam/out/lvcmp_table.tsv" 2>/dev/null || true
fi
# That run had 'totals: size_factors': lvcmp normalised by bamcount's size
# factors, which differ from the counted totals here (brain's 16 reads hold
# fewer of its genes' reads than liver's 13).
tables=$tmp/bam/out/tables
if [ -s "$tables/size_factors.txt" ] && ! cmp -s "$tables/size_factors.txt" "$tables/gtt.txt"; then
  whole_runs "$tmp/bam/whole" 1-2 0 "$tables" "$tables/size_factors.txt"
  same_files "totals: size_factors: the gathered files equal whole runs with size_factors.txt" \
    "$tmp/bam/out" "$tmp/bam/whole"
else
  fail "totals: size_factors: bamcount wrote no size_factors.txt, or one equal to gtt.txt"
fi

# --- Replicates from alignment files ('samples'): two samples per condition.
# bamcount writes the design, and sigtable --design compares the conditions
# into out/tables/, with their plots, beside the tables per pair of samples.
sam liver_2 5 7 7 30 30 210 250 260 360 380
sam brain_2 5 9 40 40 212 212 230 250 260 270 290 355
printf 'samples:\n  liver: [%s, %s]\n  brain: [%s, %s]\nannotation: %s\n' "$tmp/bam/liver.sam" "$tmp/bam/liver_2.sam" \
  "$tmp/bam/brain.sam" "$tmp/bam/brain_2.sam" "$tmp/bam/genes.gtf" >"$tmp/bam/samples.yaml"
if workflow "$tmp/bam/reps" --configfile "$tmp/bam/samples.yaml" --config bin="$bin" out="$tmp/bam/reps/out" \
  tables= permute=false --cores 2 -q >"$tmp/bam/reps.log" 2>&1 &&
  [ "$(cat "$tmp/bam/reps/out/tables/design.tsv")" = "$(printf 'sample\tcondition\nliver\tliver\nliver_2\tliver\nbrain\tbrain\nbrain_2\tbrain')" ] &&
  [ "$(cut -f1 "$tmp/bam/reps/out/tables/genes_by_condition.tsv" | sort | tr '\n' ' ')" = "1 2 gene_index " ] &&
  [ "$(cut -f2 "$tmp/bam/reps/out/tables/exons_by_condition.tsv" | sed -n 1p)" = gene_index ] &&
  [ -s "$tmp/bam/reps/out/plots/conditions/genes/volcano_1_2.svg" ] && [ -s "$tmp/bam/reps/out/lvcmp_table.tsv" ]; then
  pass "from replicates: the design, the tables per pair of conditions and their plots"
else
  fail "from replicates"
  tail -n 30 "$tmp/bam/reps.log"
fi

# planned WHAT WANT LOG COMMAND...: passes when the dry run COMMAND plans
# the jobs per rule of WANT.
planned() {
  local what=$1 want=$2 log=$3
  shift 3
  if "$@" >"$log" 2>&1 && [ "$(job_counts "$log")" = "$(printf '%b' "$want" | sort)" ]; then
    pass "$what"
  else
    fail "$what: planned $(job_counts "$log" | tr '\n' ';')"
    tail -n 20 "$log"
  fi
}

# --- Dry runs with the SLURM profile: the jobs planned per rule.
check_plan() {
  local what=$1 want=$2 dir=$3
  shift 3
  planned "$what" "$want" "$dir.log" workflow "$dir" --profile "$src/workflow/profiles/slurm" -n "$@"
}
check_plan "dry run from tables, 3 shards: every program sharded" \
  'all 1\nsizes 1\nmfit_shard 3\nmfit_gather 1\nlvcmp_shard 3\nlvcmp_gather 1\nisocmp_shard 3\nisocmp_gather 1\nsigtable 2' \
  "$tmp/plan-tables" --config bin="$bin" out=out tables="$ex"
check_plan "dry run, permutations in the run's single stream: lvcmp and isocmp whole" \
  'all 1\nsizes 1\nmfit_shard 3\nmfit_gather 1\nlvcmp_whole 1\nisocmp_whole 1\nsigtable 2' \
  "$tmp/plan-run" --config bin="$bin" out=out tables="$ex" streams=run
# bamcount only names its inputs in a dry run: empty stand-ins do.
mkdir -p "$tmp/plan-bam"
touch "$tmp/plan-bam/a.bam" "$tmp/plan-bam/b.bam" "$tmp/plan-bam/genes.gtf"
cat >"$tmp/plan-bam/bams.yaml" <<EOF
conditions:
  liver: $tmp/plan-bam/a.bam
  brain: $tmp/plan-bam/b.bam
annotation: $tmp/plan-bam/genes.gtf
bamcount_options: "--strand reverse"
EOF
# The example's tables with a design of two conditions of two samples.
printf 'sample\tcondition\nA1\tA\nA2\tA\nB1\tB\nB2\tB\n' >"$tmp/plan-bam/design.tsv"
check_plan "dry run from tables with a design: sigtable per pair of samples and per pair of conditions" \
  'all 1\nsizes 1\nmfit_shard 3\nmfit_gather 1\nlvcmp_shard 3\nlvcmp_gather 1\nisocmp_shard 3\nisocmp_gather 1\nsigtable 2\nsigtable_design 2' \
  "$tmp/plan-design" --config bin="$bin" out=out tables="$ex" design="$tmp/plan-bam/design.tsv"
check_plan "dry run from alignment files, 5 shards" \
  'all 1\nbamcount 1\nsizes 1\nmfit_shard 5\nmfit_gather 1\nlvcmp_shard 5\nlvcmp_gather 1\nisocmp_shard 5\nisocmp_gather 1\nsigtable 2' \
  "$tmp/plan-bam/dir" --configfile "$tmp/plan-bam/bams.yaml" --config bin="$bin" out=out tables= shards=5

# --- Snakemake's standard layout, in a copy of workflow/ and config/ with the
# programs and the example where the default config names them: the plain
# command plans the example, --config overrides a key of the default config,
# and --configfile replaces it whole (a config from alignment files inherits
# no 'tables' from the example's).
layout=$tmp/layout
mkdir -p "$layout/build"
cp -r "$src/workflow" "$src/config" "$layout/"
ln -s "$bin" "$layout/build/bin"
ln -s "$ex" "$layout/examples"
in_layout() { (cd "$layout" && "$snakemake" -n --cores 2 "$@"); }
plain_plan() {
  local what=$1 want=$2
  shift 2
  planned "$what" "$want" "$layout.log" in_layout "$@"
}
plain_plan "snakemake -n --cores 2 from the standard layout plans the example" \
  'all 1\nsizes 1\nmfit_shard 3\nmfit_gather 1\nlvcmp_shard 3\nlvcmp_gather 1\nisocmp_shard 3\nisocmp_gather 1\nsigtable 2'
plain_plan "--config shards=2 overrides the default config's 3 shards" \
  'all 1\nsizes 1\nmfit_shard 2\nmfit_gather 1\nlvcmp_shard 2\nlvcmp_gather 1\nisocmp_shard 2\nisocmp_gather 1\nsigtable 2' \
  --config shards=2
{ cat "$tmp/plan-bam/bams.yaml"; printf 'bin: %s\nout: out\n' "$bin"; } >"$tmp/plan-bam/own.yaml"
plain_plan "--configfile with 'conditions' alone replaces the default config" \
  'all 1\nbamcount 1\nsizes 1\nmfit_shard 1\nmfit_gather 1\nlvcmp_shard 1\nlvcmp_gather 1\nisocmp_shard 1\nisocmp_gather 1\nsigtable 2' \
  --configfile "$tmp/plan-bam/own.yaml"

# --- Configs that cannot run are refused before any job, with the reason.
refused() {
  local what=$1 message=$2
  shift 2
  if workflow "$tmp/refused" -n "$@" >"$tmp/refused.log" 2>&1; then
    fail "$what: accepted"
  elif grep -qF "$message" "$tmp/refused.log"; then
    pass "$what"
  else
    fail "$what: $(tail -n 3 "$tmp/refused.log")"
  fi
}
refused "an unknown streams mode is refused" "'streams' must be run or comparison" \
  --config bin="$bin" out=out tables="$ex" streams=gene
refused "a single-stream permutation run not from gene 1 is refused" "must start at gene 1" \
  --config bin="$bin" out=out tables="$ex" streams=run genes=2-5
printf 'conditions:\n  "liver cells": a.bam\nannotation: genes.gtf\n' >"$tmp/blank.yaml"
refused "a condition name with a blank is refused" "must be one word" \
  --configfile "$tmp/blank.yaml" --config bin="$bin" out=out tables=
refused "tables and alignment files at once are refused" "give exactly one of 'tables'" \
  --configfile "$tmp/plan-bam/bams.yaml" --config bin="$bin" out=out tables="$ex"
printf 'samples:\n  liver: [a.bam, b.bam]\nannotation: genes.gtf\n' >"$tmp/one.yaml"
refused "replicates of a single condition are refused" "'samples' names 1 condition(s)" \
  --configfile "$tmp/one.yaml" --config bin="$bin" out=out tables=
refused "a design beside alignment files is refused" "'design' is for 'tables'" \
  --configfile "$tmp/plan-bam/bams.yaml" --config bin="$bin" out=out tables= design="$tmp/plan-bam/design.tsv"
refused "a design that is not a file is refused" "'design' names $tmp/none.tsv, which is not a file" \
  --config bin="$bin" out=out tables="$ex" design="$tmp/none.tsv"
refused "totals other than gtt or size_factors are refused" "'totals' must be gtt or size_factors" \
  --config bin="$bin" out=out tables="$ex" totals=counts
refused "totals: size_factors with a tables folder without size_factors.txt is refused" \
  "'totals: size_factors' needs $ex/size_factors.txt" --config bin="$bin" out=out tables="$ex" totals=size_factors
refused "sigtable_options giving an input the workflow gives sigtable are refused" \
  "'sigtable_options' must not give --gtt" --config bin="$bin" out=out tables="$ex" sigtable_options="--sort --gtt x"
if workflow "$tmp/beyond" --config bin="$bin" out=out tables="$ex" genes=30-41 --cores 1 >"$tmp/beyond.log" 2>&1; then
  fail "genes beyond the table: accepted"
elif grep -qF "goes beyond the 40 genes" "$tmp/beyond.log"; then
  pass "genes beyond the table are refused"
else
  fail "genes beyond the table: $(tail -n 3 "$tmp/beyond.log")"
fi

echo "workflow: $passed passed, $failed failed"
((failed == 0))
