// The progress line: durations as it shows them, the text of one drawing,
// and, in a child process, silence when standard error is not a terminal
// and the line and its summary on a pseudo-terminal.
#include "cli/diag.h"
#include "cli/progress.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <limits>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

TEST(ProgressLine, DurationsAsTheLineShowsThem)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const struct {
        double seconds;
        const char* shown;
    } cases[] = {
        // Minutes and seconds below an hour, hours from it on, never days.
        {0, "0:00"}, {-0.0, "0:00"}, {7, "0:07"}, {75, "1:15"}, {600, "10:00"}, {3599, "59:59"}, {3600, "1:00:00"},
        {3723, "1:02:03"}, {86399, "23:59:59"}, {360000, "100:00:00"}, {1e12, "277777777:46:40"},
        // To the nearest second, halves up; a whole hour reached by rounding
        // takes the long form.
        {0.49, "0:00"}, {0.5, "0:01"}, {59.4, "0:59"}, {59.5, "1:00"}, {3599.49, "59:59"}, {3599.5, "1:00:00"},
        // Not a time: the time left before any unit is done, or a clock gone back.
        {nan, "?"}, {inf, "?"}, {-1, "?"}, {-0.2, "?"}};
    for (const auto& c : cases) EXPECT_EQ(format_duration(c.seconds), c.shown) << c.seconds;
}

TEST(ProgressLine, OneDrawingShowsDoneOfTotalTheRateAndTheTimeLeft)
{
    // 5 of 20 in 2 s: 2.5 a second, 15 left take 6 s.
    EXPECT_EQ(progress_text("mfit", 5, 20, "genes", 2.0, false), "\rmfit: 5 of 20 genes, 2.5 genes/s, 0:06 left\033[K");
    // 1000 of 4000 in 1 min: 3000 left at 16.7 a second take 3 min.
    EXPECT_EQ(progress_text("lvcmp", 1000, 4000, "genes", 60.0, false),
              "\rlvcmp: 1000 of 4000 genes, 16.7 genes/s, 3:00 left\033[K");
    // Over an hour left.
    EXPECT_EQ(progress_text("isocmp", 1, 7201, "genes", 1.0, false),
              "\risocmp: 1 of 7201 genes, 1.0 genes/s, 2:00:00 left\033[K");
    // Nothing done yet, or no time passed: no rate, so no time left.
    EXPECT_EQ(progress_text("mfit", 0, 20, "genes", 3.0, false), "\rmfit: 0 of 20 genes, 0.0 genes/s, ? left\033[K");
    EXPECT_EQ(progress_text("mfit", 4, 20, "genes", 0.0, false), "\rmfit: 4 of 20 genes, 0.0 genes/s, ? left\033[K");
    // The unit is the caller's, in both places.
    EXPECT_EQ(progress_text("bamcount", 30, 120, "MiB of a.bam", 10.0, false),
              "\rbamcount: 30 of 120 MiB of a.bam, 3.0 MiB of a.bam/s, 0:30 left\033[K");
}

TEST(ProgressLine, TheSummaryShowsTheTimeTakenAndEndsTheLine)
{
    // 20 in 75 s: 0.27 a second, shown to one decimal.
    EXPECT_EQ(progress_text("mfit", 20, 20, "genes", 75.0, true),
              "\rmfit: 20 of 20 genes in 1:15 (0.3 genes/s)\033[K\n");
    EXPECT_EQ(progress_text("lvcmp", 50000, 50000, "genes", 4000.0, true),
              "\rlvcmp: 50000 of 50000 genes in 1:06:40 (12.5 genes/s)\033[K\n");
    // A run stopped early shows what was done.
    EXPECT_EQ(progress_text("mfit", 3, 20, "genes", 0.0, true), "\rmfit: 3 of 20 genes in 0:00 (0.0 genes/s)\033[K\n");
    // A unit naming a long path keeps the line whole, its end included.
    const std::string unit = "MiB of " + std::string(300, 'p') + ".bam";
    EXPECT_EQ(progress_text("bamcount", 8, 8, unit, 2.0, true),
              "\rbamcount: 8 of 8 " + unit + " in 0:02 (4.0 " + unit + "/s)\033[K\n");
}

namespace {

// Runs, in a child process with standard error on `stderr_fd` and standard
// output on /dev/null (or on `stderr_fd` too), a ProgressLine of 20 genes updated to 5 after 0.3 s
// (past the refresh interval) and then finished at 20; returns what the
// parent reads from `drain`, the other side, until the child is done.
std::string progress_in_child(int stderr_fd, int drain, bool stdout_too = false)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(drain);
        const int null = stdout_too ? stderr_fd : ::open("/dev/null", O_WRONLY);
        if (null < 0 || ::dup2(null, STDOUT_FILENO) < 0 || ::dup2(stderr_fd, STDERR_FILENO) < 0) ::_exit(3);
        ::close(stderr_fd);
        set_program_name("mfit");
        {
            ProgressLine progress(20, "genes");
            progress.update(1); // too soon after the start to draw
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            progress.update(5);
            progress.update(6); // too soon after the last drawing
            progress.update(20);
            progress.finish();
            progress.finish(); // once only, and not again when it goes
        }
        ::_exit(0);
    }
    // Only the child holds the writing side now: the reads end with it.
    ::close(stderr_fd);
    std::string written;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(drain, buffer, sizeof buffer);
        if (n > 0)
            written.append(buffer, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break; // the end of the pipe, or EIO once the terminal's other side is closed
    }
    ::close(drain);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        ADD_FAILURE() << "the child did not end well";
    return written;
}

// A pseudo-terminal: the side a program writes to, and the side that reads it.
bool open_terminal(int& master, int& terminal)
{
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return false;
    const char* name = ::ptsname(master);
    terminal = name ? ::open(name, O_RDWR | O_NOCTTY) : -1;
    return terminal >= 0;
}

} // namespace

TEST(ProgressLine, WritesNothingWhenStandardErrorIsNotATerminal)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    EXPECT_EQ(progress_in_child(ends[1], ends[0]), "");
}

TEST(ProgressLine, DrawsTheLineAndItsSummaryOnATerminal)
{
    int master = -1, terminal = -1;
    ASSERT_TRUE(open_terminal(master, terminal));
    // Raw: the terminal passes the bytes as written (no \n to \r\n).
    termios mode{};
    ASSERT_EQ(::tcgetattr(terminal, &mode), 0);
    ::cfmakeraw(&mode);
    ASSERT_EQ(::tcsetattr(terminal, TCSANOW, &mode), 0);

    // One drawing at 5, then the summary at 20: the rates and times depend
    // on the clock, the rest not.
    const std::string written = progress_in_child(terminal, master);
    const std::regex expected("\rmfit: 5 of 20 genes, [0-9]+\\.[0-9] genes/s, [0-9]+:[0-9][0-9] left\x1b\\[K"
                              "\rmfit: 20 of 20 genes in 0:0[0-9] \\([0-9]+\\.[0-9] genes/s\\)\x1b\\[K\n");
    EXPECT_TRUE(std::regex_match(written, expected)) << written;
}

TEST(ProgressLine, WritesNothingWhenStandardOutputIsTheTerminalToo)
{
    // The programs' own lines on standard output would break the line.
    int master = -1, terminal = -1;
    ASSERT_TRUE(open_terminal(master, terminal));
    EXPECT_EQ(progress_in_child(terminal, master, true), "");
}
