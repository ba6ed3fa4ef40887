#include "tables/program_start.h"

#include "cli/diag.h"
#include "cli/runoptions.h"
#include "tables/run_options.h"

ProgramStart start_program(std::string_view name, int argc, char** argv, const std::vector<std::string_view>& help,
                           std::size_t count, std::string_view wrong_number, bool takes_streams)
{
    set_program_name(name);
    std::vector<std::string> args(argv + 1, argv + argc);
    ProgramStart start{ArgSource::interactive(), take_threads_option(args), take_genes_option(args)};
    if (takes_streams) start.streams = take_streams_option(args);
    if (wants_help(args)) {
        print_lines(help);
        start.help = true;
    } else if (args.size() == count) {
        start.source = ArgSource::from_arguments(std::move(args));
    } else {
        print_lines({wrong_number});
    }
    return start;
}

std::vector<std::string_view> help_text(std::string_view usage, std::initializer_list<std::string_view> rest)
{
    std::vector<std::string_view> lines = {usage,
                                           "num_reads : Number of reads in the experiment",
                                           "num_conditions : Number of Conditions/Tissues",
                                           "read : The reads input file",
                                           "num_exons : The number of exons",
                                           "exon_zb : The exon input file",
                                           "num_genes : The number of genes",
                                           "gene_zb : The gene input file"};
    lines.insert(lines.end(), rest);
    return lines;
}
