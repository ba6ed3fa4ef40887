// The progress line of a long run.
//
// When standard error is a terminal, one line there shows how many genes are
// done of all, the rate and the time left, rewritten in place at most four
// times a second. When it is not a terminal (a file, a pipe, a test) nothing
// is ever written, so logs and outputs are the same as without it; nor when
// standard output is a terminal too, where the programs' own lines would
// break it.
#pragma once

#include <chrono>
#include <string>

class ProgressLine {
public:
    // `total` units of the kind `unit` ("genes"); shown only on a terminal.
    ProgressLine(long total, std::string unit);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Records that `done` units are finished; cheap when nothing is shown.
    void update(long done)
    {
        if (shown_) maybe_draw(done);
    }
    // Replaces the line by a final summary.
    void finish();

private:
    void maybe_draw(long done);
    void draw(long done, bool final);

    long total_;
    std::string unit_;
    bool shown_;
    bool finished_ = false;
    long done_ = 0;
    std::chrono::steady_clock::time_point start_, last_;
};

// "1:02:03" or "2:03": a duration as the progress line shows it.
std::string format_duration(double seconds);

// What one drawing writes to standard error for `program`, `elapsed`
// seconds after the start: back to the start of the line, `done` of `total`
// `unit`, the rate and the time left, the rest of the terminal line cleared;
// or, when `final`, the summary with the time taken, ending the line.
std::string progress_text(const std::string& program, long done, long total, const std::string& unit, double elapsed,
                          bool final);
