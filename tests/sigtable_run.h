// Running the built sigtable from its tests.
#pragma once

#include "tests/support/run.h"

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

// Refusals of a file each: `text` is written to a file named `name`, and
// sigtable, run with `args`, must refuse it with `message`; in both, {f}
// stands for that file's path and {s} for `stats`.
struct FileRefusal {
    std::string name, text;
    std::vector<std::string> args;
    std::string message;
};
inline void expect_refusals(const ScratchDir& dir, const std::string& stats, const std::vector<FileRefusal>& cases)
{
    auto filled = [&](std::string text, const std::string& file) {
        for (const auto& [mark, value] : {std::pair<std::string, std::string>{"{f}", file}, {"{s}", stats}})
            for (std::size_t at; (at = text.find(mark)) != std::string::npos;) text.replace(at, mark.size(), value);
        return text;
    };
    for (const FileRefusal& c : cases) {
        const std::string file = dir.write(c.name, c.text);
        std::vector<std::string> args;
        for (const std::string& a : c.args) args.push_back(filled(a, file));
        expect_refusal(dir, args, filled(c.message, file));
    }
}

// A table without the calibrated columns (pvalue_cal, padj_cal,
// pvalue_poisson_cal, ...) and the column calibration: the columns that the
// calibration leaves as they were, for comparing whole tables with them.
inline std::string uncalibrated_columns(const std::string& table)
{
    auto cells = [](const std::string& line) {
        std::vector<std::string> out;
        for (std::size_t from = 0;;) {
            const std::size_t tab = line.find('\t', from);
            out.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
            if (tab == std::string::npos) return out;
            from = tab + 1;
        }
    };
    std::string out;
    std::vector<bool> keep;
    for (std::size_t from = 0; from < table.size();) {
        std::size_t end = table.find('\n', from);
        if (end == std::string::npos) end = table.size();
        const std::vector<std::string> row = cells(table.substr(from, end - from));
        if (keep.empty())
            for (const std::string& name : row)
                keep.push_back(name != "calibration" && !(name.size() > 4 && name.substr(name.size() - 4) == "_cal"));
        std::string line;
        for (std::size_t k = 0; k < row.size(); ++k)
            if (k >= keep.size() || keep[k]) line += (line.empty() ? "" : "\t") + row[k];
        out += line + "\n";
        from = end + 1;
    }
    return out;
}
