// The instruction protocol on a recording byte stream: what goes on the wire and which
// replies are taken or refused.
#include "protocol/qvs.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "protocol/tervion.h"
#include "tests/support/byte_script.h"
#include "tests/support/fake_port.h"
#include "transport/cqv_comm.h"

namespace {

// Bytes waiting before a request are stale (FlushReceive drops them); the scripted reply
// arrives once the request has gone out (FlushTransmit).
class RecordingQvs : public QVS {
  public:
    explicit RecordingQvs(const std::string& answer = "") : reply(Hex(answer)) {}
    void WriteByteRaw(uint8_t byte) override {
        sent.push_back(byte);
        calls += "B ";
    }
    int WriteRaw(const uint8_t* buffer, int n) override {
        sent.insert(sent.end(), buffer, buffer + n);
        calls += "W" + std::to_string(n) + " ";
        return n;
    }
    int ReadRaw(uint8_t* buffer, int n) override {
        int k = 0;
        for (; k < n && !line.empty(); ++k, line.pop_front()) buffer[k] = line.front();
        bytes_read += k;
        return k;
    }
    void FlushReceive() override { line.clear(); }
    void FlushTransmit() override { line.insert(line.end(), reply.begin(), reply.end()); }
    std::string Sent() const { return HexOf(sent); }

    std::vector<uint8_t> reply, sent;
    std::deque<uint8_t> line;
    std::string calls;
    int bytes_read = 0;
};

TEST(QvsFrames, InstructionPacketsByteForByte) {
    uint8_t buf[2];
    RecordingQvs read;
    read.Read(1, 56, buf, 2);
    EXPECT_EQ(read.Sent(), "FF FF 01 04 02 38 02 BE");

    RecordingQvs write("FF FF 01 02 00 FC");
    EXPECT_NE(write.WriteByte(1, 40, 1), 0);
    EXPECT_EQ(write.Sent(), "FF FF 01 04 03 28 01 CE");
    EXPECT_EQ(write.calls, "W6 W1 B ");  // header+address, data, checksum

    RecordingQvs words;
    words.Level = 0;
    words.WriteWord(1, 42, 0x0203);
    words.End = 1;
    words.WriteWord(1, 42, 0x0203);
    words.WriteWordHost(1, 42, 0x0203);
    const uint8_t data[2] = {0x03, 0x02};
    words.RegWrite(1, 42, data, 2);
    EXPECT_EQ(words.Sent(),
              "FF FF 01 05 03 2A 03 02 C7 FF FF 01 05 03 2A 02 03 C7 "
              "FF FF 01 05 03 2A 03 02 C7 FF FF 01 05 04 2A 03 02 C6");

    RecordingQvs sync("FF FF 01 02 00 FC");  // must not be read: nothing is awaited
    const uint8_t ids[2] = {1, 2};
    const uint8_t sync_data[2] = {0x10, 0x00};
    EXPECT_NE(sync.SyncWrite(ids, 2, 42, sync_data, 2), 0);
    EXPECT_EQ(sync.Sent(), "FF FF FE 0A 83 2A 02 01 10 00 02 10 00 25");
    EXPECT_EQ(sync.bytes_read, 0);
}

TEST(QvsFrames, InstructionsWithoutParametersAwaitOnlyWhereAStatusComes) {
    struct Case {
        int (QVS::*op)(uint8_t);
        const char* frame;
        bool awaits;
    };
    const Case cases[] = {
        {&QVS::Action, "FF FF 01 02 05 F7", false},
        {&QVS::Recovery, "FF FF 01 02 06 F6", true},
        {&QVS::Restart, "FF FF 01 02 08 F4", false},
        {&QVS::Backup, "FF FF 01 02 09 F3", true},
        {&QVS::StartUpgrade, "FF FF 01 02 0D EF", false},
    };
    for (const Case& c : cases) {
        RecordingQvs q("FF FF 01 02 00 FC");
        EXPECT_NE((q.*c.op)(1), 0) << c.frame;
        EXPECT_EQ(q.Sent(), c.frame);
        EXPECT_EQ(q.bytes_read, c.awaits ? 6 : 0) << c.frame;
        RecordingQvs silent;
        EXPECT_EQ((silent.*c.op)(1) != 0, !c.awaits) << c.frame;
    }
}

TEST(QvsFrames, PacketsThatCannotBeFramedAreNotSent) {
    std::vector<uint8_t> data(257, 0x11);
    RecordingQvs q;
    EXPECT_EQ(q.Write(1, 0, data.data(), 253), 0);  // length byte would wrap
    EXPECT_EQ(q.Write(1, 0, data.data(), 256), 0);  // not a data-less packet either
    EXPECT_EQ(q.Write(1, 0, data.data(), 257), 0);
    EXPECT_EQ(q.Write(1, 0, nullptr, 2), 0);
    EXPECT_TRUE(q.sent.empty());
    q.Write(1, 0, data.data(), 252);  // the longest that fits
    EXPECT_EQ(q.sent.size(), 259u);
    EXPECT_EQ(q.sent[3], 0xFF);

    const uint8_t ids[51] = {};
    RecordingQvs s;
    EXPECT_EQ(s.SyncWrite(ids, 51, 0, data.data(), 4), 0);  // (4 + 1) * 51 + 4 > 255
    EXPECT_TRUE(s.sent.empty());
    EXPECT_NE(s.SyncWrite(ids, 50, 0, data.data(), 4), 0);
    EXPECT_EQ(s.sent[3], 0xFE);

    uint8_t buf[254];
    RecordingQvs r;
    EXPECT_EQ(r.Read(1, 0, buf, 254), 0);
    EXPECT_EQ(r.Read(1, 0, buf, 0), 0);
    EXPECT_TRUE(r.sent.empty());
}

TEST(QvsRead, AcceptsAValidReplyAfterStaleBytesAndGarbage) {
    RecordingQvs q("00 FF 13 FE FF FF 01 04 20 34 12 94");
    q.line.assign({0xFF, 0xFF, 0x01, 0x04, 0x00, 0x99, 0x99, 0x00});  // stale: purged
    uint8_t buf[2] = {};
    EXPECT_EQ(q.Read(1, 56, buf, 2), 2);
    EXPECT_EQ(buf[0], 0x34);
    EXPECT_EQ(buf[1], 0x12);
    EXPECT_EQ(q.Error, 0x20);  // the error byte is kept, not a failure
}

TEST(QvsRead, RefusesBadRepliesAndKeepsTheLastErrorByte) {
    const char* bad[] = {
        "FF FF 02 04 00 34 12 B3",  // right checksum, other id
        "FF FF 01 05 00 34 12 B3",  // wrong length
        "FF FF 01 04 00 34 12 B5",  // bad checksum
        "FF FF 01 04 00 34 12",     // checksum missing
        "FF FF 01 04 00 34",        // data cut short
        "FF 01 04 00 34 12 B4",     // one header byte
        "",                         // silence
    };
    for (const char* reply : bad) {
        RecordingQvs q(reply);
        q.Error = 0x55;
        uint8_t buf[2] = {};
        EXPECT_EQ(q.Read(1, 56, buf, 2), 0) << reply;
        EXPECT_EQ(q.Error, 0x55) << reply;
    }
}

TEST(QvsRead, HeaderSearchGivesUpOnEndlessNoise) {
    RecordingQvs q;
    q.reply.assign(100000, 0x00);
    uint8_t buf[2];
    EXPECT_EQ(q.Read(1, 56, buf, 2), 0);
    EXPECT_LT(q.bytes_read, 1000);

    // A few hundred bytes of noise (FF 00 never forms a header) still let a reply through.
    RecordingQvs r;
    for (int i = 0; i < 300; ++i) r.reply.push_back(i % 2 ? 0x00 : 0xFF);
    const auto tail = Hex("FF FF 01 04 00 34 12 B4");
    r.reply.insert(r.reply.end(), tail.begin(), tail.end());
    EXPECT_EQ(r.Read(1, 56, buf, 2), 2);
}

TEST(QvsStatus, StatusPacketsAreCheckedUnlessNoneIsSent) {
    RecordingQvs broadcast("FF FF FE 02 00 FF");
    EXPECT_NE(broadcast.WriteByte(0xFE, 40, 1), 0);
    RecordingQvs level0;
    level0.Level = 0;
    EXPECT_NE(level0.WriteByte(1, 40, 1), 0);
    EXPECT_EQ(broadcast.bytes_read + level0.bytes_read, 0);

    RecordingQvs ok("17 FF FF 01 02 04 F8");
    EXPECT_NE(ok.WriteByte(1, 40, 1), 0);
    EXPECT_EQ(ok.Error, 0x04);

    for (const char* reply :
         {"FF FF 03 02 00 FA", "FF FF 01 03 00 FB", "FF FF 01 02 00 FD", "FF FF 01 02 00"}) {
        RecordingQvs q(reply);
        EXPECT_EQ(q.WriteByte(1, 40, 1), 0) << reply;
        EXPECT_EQ(q.Error, 0) << reply;
    }
}

TEST(TervionPort, EachRequestLeavesInOneWriteBeforeItsAnswerIsRead) {
    FakePort port;
    Tervion t;
    t.Comm = &port;
    port.Reply({0xFF, 0xFF, 0x01, 0x04, 0x00, 0x0A, 0x0B, 0xE5});
    uint8_t buf[2];
    EXPECT_EQ(t.Read(1, 56, buf, 2), 2);
    t.Level = 0;
    t.WriteByte(1, 40, 1);
    t.Action(1);
    const uint8_t ids[2] = {1, 2};
    const uint8_t data[2] = {0x10, 0x00};
    t.SyncWrite(ids, 2, 42, data, 2);
    EXPECT_EQ(port.TakeWrites(), (std::vector<std::string>{
                                     "FF FF 01 04 02 38 02 BE",
                                     "FF FF 01 04 03 28 01 CE",
                                     "FF FF 01 02 05 F7",
                                     "FF FF FE 0A 83 2A 02 01 10 00 02 10 00 25",
                                 }));
    // Bytes handed over without the end of a request still go out before a read.
    port.TakeWrites();
    t.WriteRaw(data, 2);
    t.ReadRaw(buf, 1);
    EXPECT_EQ(port.TakeWrites(), std::vector<std::string>{"10 00"});
}

TEST(TervionMotion, BlockIsAccelerationPositionTimeSpeedWithSignMagnitudePosition) {
    FakePort port;
    Tervion t;
    t.Comm = &port;
    t.PosAddress = 42;
    port.Reply({0xFF, 0xFF, 0x01, 0x02, 0x00, 0xFC});
    EXPECT_NE(t.WritePosition(1, -1, 10, 1000, 0), 0);  // status read through the port
    EXPECT_EQ(port.Take(), "FF FF 01 0A 03 2A 0A 01 80 00 00 E8 03 51");
    EXPECT_EQ(t.WritePosition(1, -1, 10, 1000, 0), 0);  // no second status
    port.Take();

    t.Level = 0;
    t.End = 1;
    t.RegWritePosition(1, -1, 10, 1000, 0);
    EXPECT_EQ(port.Take(), "FF FF 01 0A 04 2A 0A 80 01 00 00 03 E8 50");
    t.End = 0;
    t.WritePosition(1, -32768, 0, 0, 0);  // magnitude saturates instead of reading as -0
    EXPECT_EQ(port.Take(), "FF FF 01 0A 03 2A 00 FF FF 00 00 00 00 C9");
    const uint8_t ids[2] = {1, 2};
    t.SyncWritePosition(ids, 2, 100, 10, 1000, 0);
    EXPECT_EQ(port.Take(),
              "FF FF FE 14 83 2A 07 01 0A 64 00 00 00 E8 03 02 0A 64 00 00 00 E8 03 84");
}

}  // namespace
