#include "cli/diag.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
std::string& name_storage()
{
    static std::string name = "pipeline";
    return name;
}
bool g_throw_on_stop = false;
bool g_stdout_closed = false;

[[noreturn]] void fail_standard_output(int error_number)
{
    // Nothing more goes to standard output: the message must not wait on it.
    g_stdout_closed = true;
    warn(std::string("cannot write standard output: ") + std::strerror(error_number ? error_number : EIO));
    stop_program(kExitWriteFailure);
}

} // namespace

void throw_on_stop(bool on) { g_throw_on_stop = on; }

void stop_program(int status)
{
    if (g_throw_on_stop) throw ProgramStop{status};
    std::exit(status);
}

void stop_when_out_of_memory()
{
    std::set_new_handler([] {
        warn("out of memory");
        stop_program(1);
    });
}

void set_program_name(std::string_view name) { name_storage() = std::string(name); }

const std::string& program_name() { return name_storage(); }

void warn(std::string_view text)
{
    std::string line = program_name();
    line += ": ";
    line += text;
    line += '\n';
    if (!g_stdout_closed) std::fflush(stdout);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void fail_input(std::string_view text)
{
    warn(text);
    stop_program(kExitBadInput);
}

std::string describe(const FileName& file) { return file.role + " '" + file.path + "'"; }

std::string quote_token(std::string_view token)
{
    constexpr std::size_t kShown = 40;
    std::string out = "'";
    for (std::size_t i = 0; i < token.size() && i < kShown; ++i) {
        unsigned char c = static_cast<unsigned char>(token[i]);
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    if (token.size() > kShown) out += "...";
    out += "'";
    return out;
}

void fail_open(const FileName& file, std::string_view action, int error_number)
{
    std::string text = "cannot ";
    text += action;
    text += ' ';
    text += describe(file);
    text += ": ";
    text += std::strerror(error_number);
    fail_input(text);
}

void fail_write(const FileName& file, int error_number)
{
    warn("cannot write " + describe(file) + ": " + std::strerror(error_number));
    stop_program(kExitWriteFailure);
}

void check_standard_output()
{
    const int error_number = errno;
    if (std::ferror(stdout)) fail_standard_output(error_number);
}

void close_standard_output()
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) fail_standard_output(errno);
    g_stdout_closed = true;
    if (std::fclose(stdout) != 0) fail_standard_output(errno);
}
