// readsindex [--every=K] NUM_CONDITIONS READS_FILE: writes READS_FILE.idx,
// where every K-th (by default 4096th) row of the reads file starts, so that mfit, lvcmp and isocmp run
// with --genes=FIRST-LAST read only the rows of their genes. A reads file
// that cannot have one (gzip-compressed, not one row per line) gets none,
// with a warning, and status 0: the programs then read it whole.
#include "cli/diag.h"
#include "tables/reads_index.h"
#include "tables/textin.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    set_program_name("readsindex");
    stop_when_out_of_memory();
    std::int32_t every = kIndexEvery;
    if (argc > 1 && std::strncmp(argv[1], "--every=", 8) == 0) {
        if (parse_int32(argv[1] + 8, every) != IntParse::ok || every < 1)
            fail_input(std::string("--every: expected a whole number of at least 1, found ") + quote_token(argv[1] + 8));
        --argc;
        ++argv;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::puts("Usage: readsindex [--every=K] NUM_CONDITIONS READS_FILE\n"
                  "Writes READS_FILE.idx: the byte offset of every K-th row (4096), for --genes shards.");
        close_standard_output();
        return 0;
    }
    if (argc != 3) fail_input("expected two arguments, NUM_CONDITIONS and READS_FILE (--help)");
    std::int32_t conditions = 0;
    if (parse_int32(argv[1], conditions) != IntParse::ok || conditions < 1)
        fail_input(std::string("num_conditions: expected a whole number of at least 1, found ") + quote_token(argv[1]));
    const FileName reads{"reads file", argv[2]};
    const std::string why = write_reads_index(reads, conditions, every);
    if (!why.empty())
        warn("warning: no index of " + describe(reads) + ": " + why + "; --genes shards will read it whole");
    else
        std::printf("wrote %s\n", reads_index_path(reads.path).c_str());
    close_standard_output();
    return 0;
}
