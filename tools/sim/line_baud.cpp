#include "tools/sim/line_baud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "transport/line_settings.h"

namespace sim {

int ReadLineBaud(int fd) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return 0;
    return static_cast<int>(t.c_ospeed);
}

bool SetLineRaw(int fd, int baud) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    line_settings::MakeRawLine(t, baud, 0);  // the same raw line the tool's port uses
    return ioctl(fd, TCSETS2, &t) == 0;
}

}  // namespace sim
