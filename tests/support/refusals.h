// Checking refusals: the one line on standard error and the exit status 2
// with which every program stops on input it cannot use.
#pragma once

#include "tests/support/run.h"

#include <functional>
#include <string>

// Runs `read` in this process with refusals thrown instead of ending it
// (throw_on_stop) and returns what it wrote on standard error: the refusal's
// line, or "" when `read` took its input. For the readers, whose refusals
// need no program around them.
std::string refusal_of(const std::function<void()>& read);

// A program's refusal: exit status 2 and exactly one line on standard error,
// matching `pattern` (a regular expression searched in it).
void expect_refusal(const RunResult& r, const std::string& pattern);
