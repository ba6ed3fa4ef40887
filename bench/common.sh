# Shared by the measurement scripts: `row` runs a command under GNU time and
# prints its table row; `dataset` writes a simcounts dataset once and sets
# `args` to the seven arguments every program starts with. Expects `bin`
# and `work` to be set.

# row LABEL COMMAND...: runs the command (standard output to WORK/last.log)
# and prints its table row: wall and CPU (user + system) seconds, peak MB.
row() {
  local label=$1
  shift
  /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" "$@" >"$work/last.log"
  awk -v label="$label" '{ printf "| %s | %.2f | %.2f | %.0f |\n", label, $1, $2 + $3, $4 / 1024 }' "$work/time.txt"
}

# dataset DIR [simcounts options]: generates DIR once (the generation gets a
# row) and sets `args` and `sizes`.
dataset() {
  local dir=$1
  shift
  if [ ! -s "$dir/sizes.txt" ]; then
    mkdir -p "$dir"
    row "simcounts $* (generation)" "$bin/simcounts" --out "$dir" "$@"
    cp "$work/last.log" "$dir/sizes.txt"
  fi
  eval "$(tr ' ' '\n' <"$dir/sizes.txt")"
  args=("$num_reads" "$num_conditions" "$dir/reads.txt" "$num_exons" "$dir/exon_zb.txt" "$num_genes" "$dir/gene_zb.txt")
  sizes="$num_reads rows, $num_exons exons, $num_genes genes, $num_conditions conditions"
}
