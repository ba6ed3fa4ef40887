#include "bamcount/next_steps.h"

#include <filesystem>
#include <system_error>

std::string shell_word(std::string_view text)
{
    auto plain = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               std::string_view("_./=:,+@%-").find(c) != std::string_view::npos;
    };
    bool quote = text.empty();
    for (char c : text) quote |= !plain(c);
    if (!quote) return std::string(text);
    std::string word = "'";
    for (char c : text) {
        if (c == '\'') word += "'\\''";
        else word += c;
    }
    return word + "'";
}

std::string program_folder(const char* argv0)
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && self.has_parent_path()) return self.parent_path().string();
    const std::string_view given = argv0 ? argv0 : "";
    if (given.find('/') == std::string_view::npos) return {}; // found through the PATH: so will the others be
    return std::filesystem::path(given).parent_path().string();
}

std::string next_steps(const std::string& bin, const std::string& out, const TableSizes& sizes, bool with_design)
{
    auto program = [&](const char* name) { return shell_word(bin.empty() ? name : bin + "/" + name); };
    auto file = [&](const std::string& name) { return shell_word(out + "/" + name); };
    const std::string common = std::to_string(sizes.num_reads) + " " + std::to_string(sizes.num_conditions) + " " +
                               file("reads.txt") + " " + std::to_string(sizes.num_exons) + " " + file("exon_zb.txt") +
                               " " + std::to_string(sizes.num_genes) + " " + file("gene_zb.txt");
    std::string text;
    text += program("mfit") + " " + common + " " + file("exon_re.txt") + " " + file("gene_re.txt") + " " +
            file("chisq_re.txt") + "\n";
    text += program("lvcmp") + " " + common + " " + file("gene_re.txt") + " " + file("exon_re.txt") + " " +
            file("gtt.txt") + " " + file("lvcmp_re.txt") + " 0 -81079\n";
    text += program("isocmp") + " " + common + " " + file("gene_re.txt") + " " + file("exon_re.txt") + " " +
            file("isocmp_re.txt") + " 0 -81079\n";
    for (const std::string c : {"lvcmp", "isocmp"}) {
        // With a design the tables compare its conditions, not the samples.
        const std::string design = with_design ? " --design " + file("design.tsv") : "";
        const std::string table = with_design ? (c == "lvcmp" ? "genes" : "exons") + std::string("_by_condition")
                                              : c + "_table";
        const std::string plots = with_design ? "plots_" + table : "plots_" + c;
        text += program("sigtable") + " --stats " + file(c + "_re.txt") + design + " --tables " + shell_word(out) +
                " --out " + file(table + ".tsv") + " --sort --plots " + file(plots) + "\n";
    }
    // Shell comments, so that the whole block still runs as copied.
    text += "# For the permutation nulls, set the 0 of lvcmp and isocmp to 1.\n"
            "# Where a few genes take much of a condition's reads, give lvcmp size_factors.txt in place of gtt.txt;\n"
            "# sigtable --tables finds which of the two lvcmp was given.\n";
    if (with_design)
        text += "# Without --design, sigtable compares every pair of samples instead of the design's conditions.\n";
    else
        text += "# sigtable ranks by the calibrated p-value in each pair of conditions with at least 200 tests, by "
                "the\n# plain one elsewhere, and says which.\n";
    return text;
}
