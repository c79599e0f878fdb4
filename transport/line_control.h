#pragma once
// The serial port's line-state calls behind an interface, so that tests can watch what a
// pseudo-terminal cannot carry (the modem lines, the parity-enable bit).
struct termios2;

class LineControl {
  public:
    virtual ~LineControl() = default;
    // Reads the line settings of fd; false when the device refuses.
    virtual bool GetSettings(int fd, termios2& t);
    // Raises (on) or drops one modem line: TIOCM_DTR or TIOCM_RTS. Refusals are ignored.
    virtual void SetModemLine(int fd, int line, bool on);

    // The calls into the kernel; what every port uses unless told otherwise.
    static LineControl& System();
};
