// The command line of every program: the layer between a user and the
// pipeline's work. It takes the arguments (by position or from prompts,
// with --threads and named options taken out first), reports every refusal
// as one line naming the program with its exit status (2 for input that
// cannot be used, 255 for a failed write), and shows the progress line of a
// long run. It knows nothing of the tables, the statistics or the
// programs' own rules (their default sizes, --genes, --streams: those are
// tables/'s); everything above it reports through it.
#pragma once

#include "cli/diag.h"          // messages and exit statuses
#include "cli/intake.h"        // positional arguments and prompts
#include "cli/named_options.h" // "--name value" command lines and the one parser of option numbers
#include "cli/progress.h"      // the progress line on a terminal
#include "cli/runoptions.h"    // --threads and other --NAME=VALUE options
