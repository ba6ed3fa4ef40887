#include "named_options.h"

#include "diag.h"

NamedOptions::NamedOptions(int argc, char** argv) : args_(argv + 1, argv + argc) {}

bool NamedOptions::next()
{
    if (next_ >= args_.size()) return false;
    name_ = args_[next_++];
    option_ = name_.rfind("--", 0) == 0;
    has_value_ = false;
    if (const auto eq = name_.find('='); option_ && eq != std::string::npos) {
        value_ = name_.substr(eq + 1);
        name_.resize(eq);
        has_value_ = true;
    }
    return true;
}

std::string NamedOptions::value()
{
    if (has_value_) return value_;
    if (next_ >= args_.size()) refuse(name_ + " expects a value");
    return args_[next_++];
}

void NamedOptions::no_value() const
{
    if (has_value_) refuse(name_ + " takes no value");
}

void NamedOptions::refuse(const std::string& text) const
{
    fail_input(text + " (see " + program_name() + " --help)");
}
