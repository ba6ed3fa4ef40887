// The fixed texts of mfit, lvcmp and isocmp, whole and byte for byte: the
// --help text, which the programs build from lines they share, and the
// wrong-number line printed before the prompts.
#include "tests/support/run.h"

#include <gtest/gtest.h>

#include <string>

TEST(ProgramTexts, HelpAndWrongNumberLineAreWholeAndExact)
{
    const std::string data = std::string(TEST_DATA_DIR) + "/texts/";
    const struct {
        const char* program;
        std::string wrong_number;
    } cases[] = {
        {"mfit", "You have entered the wrong number of arguments. Please enter the arguments interactively.Please "
                 "type ./mfit.out --help for the argument list\n"},
        {"lvcmp", "You have entered the wrong number of arguments. Please enter the arguments interactively. Please "
                  "type ./lvcmp.out --help for the argument list\n"},
        {"isocmp", "You have entered the wrong number of arguments. Please enter the arguments interactively. Please "
                   "type ./isocmp.out --help for the argument list.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program);
        const RunResult help = run_program(program_path(c.program), {"--help"});
        EXPECT_EQ(help.status, 1);
        EXPECT_EQ(help.out, read_file(data + c.program + "_help.txt"));
        EXPECT_EQ(help.err, "");
        // The name the usage line gives runs the same program.
        EXPECT_EQ(run_program(program_path(std::string(c.program) + ".out"), {"--help"}).out, help.out);
        // One argument and no answers: the line, then the first prompt.
        const RunResult wrong = run_program(program_path(c.program), {"x"});
        EXPECT_EQ(wrong.status, 2);
        EXPECT_EQ(wrong.out, c.wrong_number + "Number of reads : ");
    }
}
