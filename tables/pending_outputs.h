// The temporary files of the outputs still being written.
//
// A result file is written under a temporary name beside its final one and
// renamed into place once it is complete and closed, so a file under the
// final name is always a whole result. While it is being written, its
// temporary name is held here: a refusal, a failed write, or SIGINT, SIGTERM,
// SIGHUP or SIGPIPE removes every one still held before the process ends, so
// an interrupted run leaves the final names empty and no temporary files.
// (SIGKILL cannot be caught: it may leave one behind.)
#pragma once

#include <string>

// Creates a new file from the mkostemp template `path` (which then holds its
// name) and holds it for removal, with the signals blocked in between so that
// no interruption can leave it behind. Returns its descriptor (-1 when it
// cannot be created) and sets `slot`, or -1 when all slots are in use (the
// file is then simply not removed on an interruption).
int create_pending_output(std::string& path, int& slot);
// Lets go of the slot once its file has been renamed or removed.
void release_pending_output(int slot);
