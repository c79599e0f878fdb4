#include "transport/line_control.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool LineControl::GetSettings(int fd, termios2& t) { return ::ioctl(fd, TCGETS2, &t) == 0; }

void LineControl::SetModemLine(int fd, int line, bool on) {
    int bits = line;
    ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
}

LineControl& LineControl::System() {
    static LineControl system;
    return system;
}
