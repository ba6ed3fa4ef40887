// How the programs stop on bad input or a failed write.
//
// Every message is one line on standard error that starts with the program's
// name, so that a user running the pipeline from a script can tell which step
// refused what. Exit statuses: 2 for input that cannot be used (a file that
// cannot be opened or read, a malformed or inconsistent table, an answer the
// program cannot take), 255 for an output that could not be written or closed.
#pragma once

#include <string>
#include <string_view>

inline constexpr int kExitBadInput = 2;
inline constexpr int kExitWriteFailure = 255;

// The program name that starts every message; set once by main.
void set_program_name(std::string_view name);
const std::string& program_name();

// A file as the messages name it: its role ("reads file", "gene_re file", ...)
// and the path the user gave.
struct FileName {
    std::string role;
    std::string path;
};

// Writes "<program>: <text>" and a newline to standard error.
void warn(std::string_view text);

// Writes the message and ends the process with exit status 2.
[[noreturn]] void fail_input(std::string_view text);

// Ends the process with `status` through std::exit, so the clean-up
// registered with atexit runs (unfinished outputs' temporary files are
// removed there). Every refusal and write failure ends here.
[[noreturn]] void stop_program(int status);

// Has an allocation that fails end the run with "<program>: out of memory"
// and status 1, through stop_program, rather than unwind: the unwinding
// would close the file being written and put a partial result in place
// under its name. For the programs that allocate with new.
void stop_when_out_of_memory();

// For harnesses that drive the readers inside one process (the fuzz
// targets): with it set, stop_program throws a ProgramStop carrying the
// status instead of ending the process. Never set in the programs.
struct ProgramStop {
    int status;
};
void throw_on_stop(bool on);

// "<role> '<path>'", the way every message names a file.
std::string describe(const FileName& file);

// A token as messages quote it: shortened, with unprintable bytes escaped.
std::string quote_token(std::string_view token);

// Writes "cannot <action> <role> '<path>': <reason>" and ends with status 2.
[[noreturn]] void fail_open(const FileName& file, std::string_view action, int error_number);

// Writes "cannot write <role> '<path>': <reason>" and ends with status 255.
[[noreturn]] void fail_write(const FileName& file, int error_number);

// Standard output carries results too (the per-gene lines, bamcount's
// summary), so a failed write to it ends the run with status 255 like a
// failed write to any output file. check_standard_output stops when a write
// has failed; call it right after writing, while errno still tells why.
void check_standard_output();
// Flushes and closes standard output with the same check. Call it last, once
// the result files are closed: nothing may be written there afterwards.
void close_standard_output();
