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

// Holds `path` for removal; returns its slot, or -1 when all slots are in use
// (the file is then simply not removed on an interruption).
int hold_pending_output(const std::string& path);
// Lets go of the slot once its file has been renamed or removed.
void release_pending_output(int slot);
