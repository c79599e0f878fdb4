#pragma once
// The baud rate currently set on a terminal, standard or not, read through the
// extended termios interface. Kept in its own file because that interface's header
// cannot share a translation unit with <termios.h>.
namespace sim {

// Output speed of the terminal behind fd (for a pseudo-terminal master: the settings the
// slave side's user applied), or 0 when it cannot be read.
int ReadLineBaud(int fd);
// Sets the terminal to raw 8N1 at `baud`; false on failure.
bool SetLineRaw(int fd, int baud);

}  // namespace sim
