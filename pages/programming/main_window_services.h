#pragma once
// The services the main window offers to the pages (the Programming page uses them when it
// changes a servo's id or baud rate, or writes a parameter file). Called on the
// user-interface thread.
#include <cstdint>
#include <string>

#include "definitions/servo_types.h"

class MainWindowServices {
  public:
    virtual ~MainWindowServices() = default;
    virtual void SetStatusText(const std::string& text) = 0;
    // Five identity bytes of a servo of the given kind; true when all five were read.
    virtual bool ReadServoIdentity(int id, uint8_t identity[5], ServoKind kind) = 0;
    // 0 same memory table, 2 another one, 1 when either side matches none or the read fails.
    virtual int CompareServoModel(int id, const uint8_t identity[5], ServoKind kind) = 0;
    // True when a found servo other than the selected one has this id.
    virtual bool IdInUse(int id) = 0;
    // Moves the port to the speed a servo was just given; returns SetBaud's result or the
    // current baud rate when the index has no entry.
    virtual int FollowBaudChange(int index, int parity, ServoKind kind) = 0;
    virtual void ServoIdChanged(int old_id, int new_id) = 0;
};
