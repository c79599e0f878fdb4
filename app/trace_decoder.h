#pragma once
// Reads the transfers on the line as the protocols mean them, for the bus monitor's decoded
// column. Requests are decoded from their own bytes; a reply arrives in several reads (the
// packet layer reads header, body and checksum apart), so the decoder gathers the reads
// after a request and names the reply on the read that completes it.
//
//   instruction protocol   "ID 1 Read addr 56 len 15", "ID 1 reply error 0x00, 15 bytes"
//   Modbus RTU             "slave 1 read holding 256 x10", "slave 1 reply 20 bytes",
//                          "slave 1 exception 2 (function 3)"
//   boot loader            "block 3 (more)", "block 9 (last)", "ACK", "NAK"
#include <cstdint>
#include <string>
#include <vector>

struct DecodedTransfer {
    int id = -1;       // servo id or Modbus slave the transfer belongs to; -1 unknown
    std::string text;  // empty while a reply is still incomplete
};

class TraceDecoder {
  public:
    DecodedTransfer Decode(bool sent, const uint8_t* bytes, int n);
    // Forgets the request and reply seen so far.
    void Reset();

  private:
    enum class Kind { kNone, kInstruction, kModbus, kBoot };
    DecodedTransfer DecodeRequest(const uint8_t* b, int n);
    DecodedTransfer DecodeReply();

    Kind last_kind_ = Kind::kNone;
    int last_id_ = -1;
    int last_function_ = 0;
    bool reply_done_ = false;
    std::vector<uint8_t> reply_;  // reads since the last request (bounded)
};
