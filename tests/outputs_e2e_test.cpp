// What the programs do with their outputs when something goes wrong: an
// output named like an input (or through a link to it) is refused before a
// byte is lost; a failed write to standard output is a failure like any
// other; a result file appears under its final name only when whole, and a
// run that fails or is interrupted leaves the final names empty and no
// temporary files.
#include "tests/support/run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const std::string kData = std::string(TEST_DATA_DIR) + "/mfit_small/";

// The seven arguments every program starts with, for the hand-checked dataset.
std::vector<std::string> shared_args()
{
    return {"97", "3", kData + "reads.txt", "7", kData + "exon_zb.txt", "6", kData + "gene_zb.txt"};
}

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more)
{
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

std::vector<std::string> mfit_args(const ScratchDir& dir)
{
    return with(shared_args(), {dir.file("exon_re"), dir.file("gene_re"), dir.file("chisq_re")});
}

std::vector<std::string> lvcmp_args(const std::string& gene_re, const std::string& out)
{
    return with(shared_args(), {gene_re, kData + "expected_exon_re", kData + "gtt.txt", out, "0", "-81079"});
}

std::vector<std::string> isocmp_args(const std::string& exon_re, const std::string& out)
{
    return with(shared_args(), {kData + "expected_gene_re", exon_re, out, "0", "-81079"});
}

// The names in a folder, hidden ones included.
std::vector<std::string> names_in(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

void expect_alias_refused(const RunResult& r, const std::string& program, const std::string& output,
                          const std::string& input)
{
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.err, program + ": " + output + " is the same file as " + input +
                         ": give each output a name of its own, apart from the inputs\n");
}

// Runs the program with standard output on /dev/full.
RunResult run_into_full_device(const std::string& program, const std::vector<std::string>& args)
{
    return run_program("/bin/sh", with({"-c", "exec \"$0\" \"$@\" >/dev/full", program_path(program)}, args));
}

} // namespace

TEST(OutputNames, AnOutputThatIsAnInputIsRefusedAndTheInputKept)
{
    ScratchDir dir;
    const std::string reads = dir.write("reads.txt", read_file(kData + "reads.txt"));
    std::vector<std::string> args = mfit_args(dir);
    args[2] = reads;

    args[9] = reads; // chisq_re named as the reads file
    expect_alias_refused(run_program(program_path("mfit"), args), "mfit", "chisq_re file '" + reads + "'",
                         "reads file '" + reads + "'");
    EXPECT_EQ(read_file(reads), read_file(kData + "reads.txt"));

    // The same through a symbolic link and through another spelling of the path.
    std::filesystem::create_symlink(reads, dir.file("link"));
    args = mfit_args(dir);
    args[2] = reads;
    args[8] = dir.file("link");
    expect_alias_refused(run_program(program_path("mfit"), args), "mfit", "gene_re file '" + dir.file("link") + "'",
                         "reads file '" + reads + "'");
    args[8] = dir.path() + "/./reads.txt";
    expect_alias_refused(run_program(program_path("mfit"), args), "mfit", "gene_re file '" + args[8] + "'",
                         "reads file '" + reads + "'");
    EXPECT_EQ(read_file(reads), read_file(kData + "reads.txt"));
}

TEST(OutputNames, TwoOutputsOfOneNameAreRefused)
{
    ScratchDir dir;
    std::vector<std::string> args = mfit_args(dir);
    args[8] = args[7];
    expect_alias_refused(run_program(program_path("mfit"), args), "mfit", "gene_re file '" + args[7] + "'",
                         "exon_re file '" + args[7] + "'");
    // Devices are not files of their own: several outputs may go to /dev/null.
    args = mfit_args(dir);
    args[7] = args[8] = "/dev/null";
    const RunResult r = run_program(program_path("mfit"), args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(dir.file("chisq_re")), read_file(kData + "expected_chisq_re"));
}

TEST(OutputNames, TheTestsRefuseToOverwriteTheFitsTheyRead)
{
    ScratchDir dir;
    const std::string gene_re = dir.write("gene_re", read_file(kData + "expected_gene_re"));
    const std::string exon_re = dir.write("exon_re", read_file(kData + "expected_exon_re"));
    expect_alias_refused(run_program(program_path("lvcmp"), lvcmp_args(gene_re, gene_re)), "lvcmp",
                         "lvcmpgene_re file '" + gene_re + "'", "gene_re file '" + gene_re + "'");
    expect_alias_refused(run_program(program_path("isocmp"), isocmp_args(exon_re, exon_re)), "isocmp",
                         "isocmp_re file '" + exon_re + "'", "exon_re file '" + exon_re + "'");
    EXPECT_EQ(read_file(gene_re), read_file(kData + "expected_gene_re"));
    EXPECT_EQ(read_file(exon_re), read_file(kData + "expected_exon_re"));
}

TEST(StandardOutput, AFailedWriteThereIsAFailure)
{
    ScratchDir dir;
    const std::string kFull = ": cannot write standard output: No space left on device\n";
    RunResult r = run_into_full_device("mfit", mfit_args(dir));
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "mfit" + kFull);
    r = run_into_full_device("lvcmp", lvcmp_args(kData + "expected_gene_re", dir.file("lv")));
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "lvcmp" + kFull);
    r = run_into_full_device("isocmp", isocmp_args(kData + "expected_exon_re", dir.file("iso")));
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "isocmp" + kFull);
}

TEST(WholeResults, AFinishedRunLeavesOnlyTheFinalNames)
{
    ScratchDir dir;
    // An output named through a symbolic link stays a link; its target gets the result.
    std::filesystem::create_symlink(dir.file("chisq_target"), dir.file("chisq_re"));
    dir.write("chisq_target", "old content\n");
    ::chmod(dir.file("chisq_target").c_str(), 0640);
    const RunResult r = run_program(program_path("mfit"), mfit_args(dir));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"chisq_re", "chisq_target", "exon_re", "gene_re"}));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("chisq_re")));
    EXPECT_EQ(read_file(dir.file("chisq_target")), read_file(kData + "expected_chisq_re"));
    EXPECT_EQ(read_file(dir.file("exon_re")), read_file(kData + "expected_exon_re"));
    struct stat st;
    ASSERT_EQ(::stat(dir.file("chisq_target").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(WholeResults, ARefusedRunLeavesTheFinalNamesEmpty)
{
    ScratchDir dir;
    dir.write("exon_re", "an old result\n");
    const std::string bad = dir.write("bad_reads", "0 0 0 1 2 x\n");
    std::vector<std::string> args = mfit_args(dir);
    args[2] = bad;
    const RunResult r = run_program(program_path("mfit"), args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"bad_reads", "chisq_re", "exon_re", "gene_re"}));
    for (const char* name : {"exon_re", "gene_re", "chisq_re"}) EXPECT_EQ(read_file(dir.file(name)), "") << name;
}

TEST(WholeResults, AnInterruptedRunLeavesTheFinalNamesEmpty)
{
    // mfit at its prompts: after the exon_re answer its file is open and
    // written aside while the program waits for the next answer.
    ScratchDir dir;
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        dir.write("exon_re", "an old result\n");
        int answers[2];
        ASSERT_EQ(::pipe(answers), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(answers[0], 0);
            ::close(answers[1]);
            const int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
            // Restore what the test runner may have changed, as a shell would.
            for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(s, SIG_DFL);
            const std::string mfit = program_path("mfit");
            ::execl(mfit.c_str(), mfit.c_str(), "prompt", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(answers[0]);
        const std::string typed = "97\n3\n" + kData + "reads.txt\n7\n" + kData + "exon_zb.txt\n6\n" + kData +
                                  "gene_zb.txt\n" + dir.file("exon_re") + "\n";
        ASSERT_EQ(::write(answers[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
        // Wait until the temporary file is there.
        for (int tries = 0; tries < 1000 && names_in(dir.path()).size() < 2; ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(names_in(dir.path()).size(), 2u);
        ::kill(pid, signal_number);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ::close(answers[1]);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << signal_number;
        EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"exon_re"}) << signal_number;
        EXPECT_EQ(read_file(dir.file("exon_re")), "") << signal_number;
    }
}
