#include "app/trace_decoder.h"

#include <cstdio>

#include "modbus/rtu.h"

namespace {

// Bytes of one reply kept for decoding; the longest reply of either protocol is shorter.
constexpr size_t kMaxReply = 300;

std::string Format(const char* format, int a = 0, int b = 0, int c = 0) {
    char text[96];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

const char* InstructionName(uint8_t code) {
    switch (code) {
        case 0x01:
            return "Ping";
        case 0x02:
            return "Read";
        case 0x03:
            return "Write";
        case 0x04:
            return "RegWrite";
        case 0x05:
            return "Action";
        case 0x06:
            return "Recovery";
        case 0x08:
            return "Restart";
        case 0x09:
            return "Backup";
        case 0x0D:
            return "StartUpgrade";
        case 0x83:
            return "SyncWrite";
        default:
            return nullptr;
    }
}

bool ModbusFrame(const uint8_t* b, int n) {
    if (n < 4) return false;
    const uint16_t crc = Rtu::Crc16(b, n - 2);
    return b[n - 2] == (crc & 0xFF) && b[n - 1] == (crc >> 8);
}

int Word(const uint8_t* b) { return (b[0] << 8) | b[1]; }

std::string InstructionRequest(const uint8_t* b, int n) {
    // FF FF id length instruction parameters... checksum
    const int id = b[2];
    const char* name = n >= 5 ? InstructionName(b[4]) : nullptr;
    std::string text = name ? Format("ID %d ", id) + name
                            : Format("ID %d instruction 0x%02X", id, n >= 5 ? b[4] : 0);
    const int params = n - 6;  // after the instruction, before the checksum
    if (n >= 5 && b[4] == 0x02 && params >= 2) {
        text += Format(" addr %d len %d", b[5], b[6]);
    } else if (n >= 5 && (b[4] == 0x03 || b[4] == 0x04) && params >= 1) {
        text += Format(" addr %d, %d bytes", b[5], params - 1);
    } else if (n >= 5 && b[4] == 0x83 && params >= 2) {
        const int each = b[6] + 1;
        text +=
            Format(" addr %d len %d, %d servos", b[5], b[6], each > 0 ? (params - 2) / each : 0);
    }
    return text;
}

std::string ModbusRequest(const uint8_t* b, int n) {
    const int slave = b[0];
    const int function = b[1];
    if ((function == 3 || function == 4) && n == 8)
        return Format(function == 3 ? "slave %d read holding %d x%d" : "slave %d read input %d x%d",
                      slave, Word(b + 2), Word(b + 4));
    if (function == 6 && n == 8)
        return Format("slave %d write %d = %d", slave, Word(b + 2), Word(b + 4));
    if (function == 16 && n >= 9)
        return Format("slave %d write %d x%d", slave, Word(b + 2), Word(b + 4));
    return Format("slave %d function %d", slave, function);
}

}  // namespace

void TraceDecoder::Reset() {
    last_kind_ = Kind::kNone;
    last_id_ = -1;
    last_function_ = 0;
    reply_done_ = false;
    reply_.clear();
}

DecodedTransfer TraceDecoder::Decode(bool sent, const uint8_t* bytes, int n) {
    if (bytes == nullptr || n < 0) n = 0;
    if (sent) {
        reply_.clear();
        reply_done_ = false;
        return DecodeRequest(bytes, n);
    }
    if (n == 0) {
        // A read that timed out: the request's reply did not (fully) come.
        if (last_kind_ == Kind::kNone || reply_done_) return {last_id_, ""};
        reply_done_ = true;
        return {last_id_, reply_.empty() ? "no reply" : "reply incomplete"};
    }
    if (reply_done_) return {last_id_, ""};
    for (int i = 0; i < n && reply_.size() < kMaxReply; ++i) reply_.push_back(bytes[i]);
    return DecodeReply();
}

DecodedTransfer TraceDecoder::DecodeRequest(const uint8_t* b, int n) {
    if (n >= 6 && b[0] == 0xFF && b[1] == 0xFF) {
        last_kind_ = Kind::kInstruction;
        last_id_ = b[2];
        return {last_id_, InstructionRequest(b, n)};
    }
    if (ModbusFrame(b, n)) {
        last_kind_ = Kind::kModbus;
        last_id_ = b[0];
        last_function_ = b[1];
        return {last_id_, ModbusRequest(b, n)};
    }
    last_kind_ = Kind::kBoot;
    last_id_ = -1;
    if (n == 70 && static_cast<uint8_t>(~b[0]) == b[1]) {
        // Block numbers go out modulo 256.
        return {-1, Format(b[69] == 4 ? "block %d (last)" : "block %d (more)", b[0])};
    }
    if (n == 1 && b[0] == 0x01) return {-1, "start"};
    return {-1, Format("%d bytes", n)};
}

DecodedTransfer TraceDecoder::DecodeReply() {
    const uint8_t* b = reply_.data();
    const int n = static_cast<int>(reply_.size());
    switch (last_kind_) {
        case Kind::kInstruction: {
            // Skip anything before the FF FF header, as the packet layer does.
            int at = 0;
            while (at + 1 < n && !(b[at] == 0xFF && b[at + 1] == 0xFF)) ++at;
            const int rest = n - at;
            // A reply carries at least its error byte and checksum (length 2); a shorter
            // length byte is noise, and its frame would end before the error byte.
            if (rest < 4 || b[at + 3] < 2 || rest < b[at + 3] + 4) return {last_id_, ""};
            reply_done_ = true;
            const int data = b[at + 3] - 2;
            std::string text = Format("ID %d reply error 0x%02X", b[at + 2], b[at + 4]);
            if (data > 0) text += Format(", %d bytes", data);
            return {b[at + 2], text};
        }
        case Kind::kModbus: {
            if (n >= 5 && (b[1] & 0x80) != 0 && ModbusFrame(b, 5)) {
                reply_done_ = true;
                return {b[0],
                        Format("slave %d exception %d (function %d)", b[0], b[2], b[1] & 0x7F)};
            }
            if ((last_function_ == 3 || last_function_ == 4) && n >= 3 && n >= b[2] + 5) {
                reply_done_ = true;
                return {b[0], Format("slave %d reply %d bytes", b[0], b[2])};
            }
            if ((last_function_ == 6 || last_function_ == 16) && n >= 8) {
                reply_done_ = true;
                return {b[0], Format("slave %d reply", b[0])};
            }
            return {last_id_, ""};
        }
        case Kind::kBoot:
            if (n == 1) {
                reply_done_ = true;
                if (b[0] == 6) return {-1, "ACK"};
                if (b[0] == 21) return {-1, "NAK"};
                if (b[0] == 'C') return {-1, "C"};
            }
            return {-1, Format("%d bytes", n)};
        case Kind::kNone:
            break;
    }
    return {-1, ""};
}
