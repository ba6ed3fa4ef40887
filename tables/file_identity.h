// The files a run has opened, known by device and inode.
//
// Every input is recorded as it is opened and every output before it is
// truncated, so an output that names a file the run reads or writes already
// (under the same name, another name, or through a link) is refused before a
// byte of it is lost. Only regular files are compared: devices and named
// pipes such as /dev/null may well serve as several outputs at once.
#pragma once

#include "cli/diag.h"

// Records the open descriptor `fd` as the file `name`.
void record_opened_file(const FileName& name, int fd);
// Records the file at `name.path`, for inputs that a library opens.
void record_opened_path(const FileName& name);

// Stops with status 2 when `output.path` names a regular file that the run
// has recorded as an input or an output. Call before opening it for writing.
void refuse_if_already_open(const FileName& output);
