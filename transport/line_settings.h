#pragma once
// Line settings of a serial port in the kernel's termios2 form (any baud rate through
// BOTHER). Kept apart from CQVComm because the kernel header clashes with <termios.h>.
#include <asm/termbits.h>

namespace line_settings {

// Raw 8-bit line at `baud` with parity by index (1 odd, 2 even, anything else none), one
// stop bit, no flow control, no echo or translation; reads return at once (VMIN = VTIME = 0).
void MakeRawLine(termios2& t, int baud, int parity);

// The line's parity as an index: 0 none, 1 odd, 2 even.
int ParityIndex(const termios2& t);

}  // namespace line_settings
