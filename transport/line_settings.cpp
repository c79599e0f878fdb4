#include "transport/line_settings.h"

namespace line_settings {

void MakeRawLine(termios2& t, int baud, int parity) {
    // Every byte value must pass both ways unchanged: no line editing, no CR/LF
    // translation and no XON/XOFF, which would eat 0x11 and 0x13.
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                   IXANY | INPCK | IUCLC | IMAXBEL);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT) | CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
    t.c_cflag |= CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    if (parity == 1) t.c_cflag |= PARENB | PARODD;
    if (parity == 2) t.c_cflag |= PARENB;
    t.c_ispeed = static_cast<speed_t>(baud);
    t.c_ospeed = static_cast<speed_t>(baud);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

int ParityIndex(const termios2& t) {
    if (!(t.c_cflag & PARENB)) return 0;
    return (t.c_cflag & PARODD) ? 1 : 2;
}

}  // namespace line_settings
