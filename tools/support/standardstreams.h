#pragma once

// Standard input, output and error that a program is started without (a
// shell's ">&-"). Called first in main, before anything opens a descriptor:
// each closed one is held by /dev/null opened for reading only, so that no
// file, port or event descriptor the program opens later takes its number
// (and gets the lines meant for standard output), and a write to it fails
// with EBADF as a write to a closed descriptor does.

namespace tool {

// Bits 1 << 0, 1 << 1, 1 << 2 for the descriptors that were closed.
int holdClosedStandardStreams();

constexpr int STANDARD_OUTPUT_CLOSED = 1 << 1;

} // namespace tool
