// Running the built sigtable from its tests.
#pragma once

#include "run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

inline RunResult sigtable(const std::vector<std::string>& args)
{
    return run_program(program_path("sigtable"), args);
}

// Runs sigtable expecting a refusal: status 2, the one line, and no table.
inline void expect_refusal(const ScratchDir& dir, std::vector<std::string> args, const std::string& line)
{
    args.insert(args.end(), {"--out", dir.file("refused.tsv")});
    const RunResult r = sigtable(args);
    EXPECT_EQ(r.status, 2) << line;
    EXPECT_EQ(r.err, "sigtable: " + line + "\n");
    EXPECT_FALSE(file_exists(dir.file("refused.tsv"))) << line;
}
