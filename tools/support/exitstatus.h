#pragma once

// The exit statuses of the command-line programs, one meaning each; a
// program's --help says which of them it gives.

namespace exitstatus {

// Done, or stopped as asked (a signal, a count, a time, a closed standard output).
constexpr int DONE = 0;
// The work failed: input that does not read, a file that cannot be written,
// a device that cannot be served.
constexpr int FAILED = 1;
// Nothing was done: a command line that is wrong, or a port or an output
// file that does not do.
constexpr int CANNOT_START = 2;
// The adapter went away.
constexpr int DEVICE_GONE = 3;
// The output could not be written (full disk).
constexpr int WRITE_FAILED = 4;

} // namespace exitstatus
