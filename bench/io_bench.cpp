// Reading and writing the pipeline's text files: the count table reader's
// throughput in bytes per second on a reads file shaped like real data, and
// the number formatter behind every result line.
#include "tables/tables.h"
#include "tables/textin.h"
#include "tables/textout.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

namespace {

constexpr int kRows = 2'000'000;
constexpr int kConditions = 6;

// A reads file of kRows rows: chromosome, position, strand and six counts,
// mostly small with a long tail, as the generator writes them.
const std::string& reads_file()
{
    static const std::string path = [] {
        std::string p = "/tmp/io_bench_reads_";
        append_int(p, ::getpid());
        p.append(".txt");
        std::ofstream out(p);
        std::mt19937 rng(7);
        std::geometric_distribution<int> count(0.15);
        std::string line;
        for (int r = 1; r <= kRows; ++r) {
            line.assign("1 ");
            append_int(line, 1000000 + 3 * r);
            line.append(" 1");
            for (int c = 0; c < kConditions; ++c) {
                line.push_back(' ');
                append_int(line, count(rng));
            }
            line.push_back('\n');
            out << line;
        }
        return p;
    }();
    return path;
}

void BM_ReadCountTable(benchmark::State& state)
{
    const std::string& path = reads_file();
    std::int64_t bytes = 0;
    for (auto _ : state) {
        InputFile file = InputFile::open({"reads file", path});
        CountTable t = read_count_table(file, kRows, kConditions);
        benchmark::DoNotOptimize(t.counts[kRows][kConditions]);
        std::FILE* f = std::fopen(path.c_str(), "rb");
        std::fseek(f, 0, SEEK_END);
        bytes += std::ftell(f);
        std::fclose(f);
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_ReadCountTable)->Unit(benchmark::kMillisecond);

void BM_AppendFixed6(benchmark::State& state)
{
    std::mt19937 rng(3);
    std::lognormal_distribution<double> value(0.0, 3.0);
    std::vector<double> values(4096);
    for (double& v : values) v = value(rng);
    std::string out;
    for (auto _ : state) {
        out.clear();
        for (double v : values) append_fixed6(out, v);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}
BENCHMARK(BM_AppendFixed6);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::remove(reads_file().c_str());
    return 0;
}
