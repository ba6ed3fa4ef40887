// Command lines of named options in the usual style, for the programs
// around the pipeline (bamcount, sigtable): "--name value" or
// "--name=value", anything not starting with "--" positional. A refusal is
// one line ending with a pointer to the program's --help, exit status 2.
#pragma once

#include <string>
#include <vector>

class NamedOptions {
public:
    NamedOptions(int argc, char** argv);

    // Moves to the next argument; false after the last.
    bool next();
    // The current argument is an option ("--name" or "--name=value").
    bool is_option() const { return option_; }
    // The option's name with its dashes, or the positional argument.
    const std::string& current() const { return name_; }
    // The option's value: after its '=', or the next argument.
    std::string value();
    // Refuses an option that was given a value with '='.
    void no_value() const;
    [[noreturn]] void refuse(const std::string& text) const;

private:
    std::vector<std::string> args_;
    std::size_t next_ = 0;
    bool option_ = false, has_value_ = false;
    std::string name_, value_;
};
