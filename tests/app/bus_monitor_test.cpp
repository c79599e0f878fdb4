// The bus monitor without a display: the decoded column for each protocol, the bounded
// log, pause, clear, the id filter and the saved trace; and where the window opens.
#include "app/bus_monitor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/bus_monitor_view.h"
#include "app/trace_decoder.h"
#include "app/window_geometry.h"
#include "tests/support/test_folder.h"
#include "transport/transfer_log.h"

namespace {

std::vector<uint8_t> B(std::initializer_list<int> bytes) {
    std::vector<uint8_t> v;
    for (int b : bytes) v.push_back(static_cast<uint8_t>(b));
    return v;
}

struct Decoding {
    TraceDecoder d;
    DecodedTransfer operator()(bool sent, const std::vector<uint8_t>& bytes) {
        return d.Decode(sent, bytes.data(), static_cast<int>(bytes.size()));
    }
};

TEST(TraceDecoder, InstructionRequestsAndTheReplyAcrossSeveralReads) {
    Decoding dec;
    auto r = dec(true, B({0xFF, 0xFF, 0x01, 0x04, 0x02, 0x38, 0x0F, 0xB1}));
    EXPECT_EQ(r.text, "ID 1 Read addr 56 len 15");
    EXPECT_EQ(r.id, 1);
    // The packet layer reads the header, then id/length/error, then data and checksum.
    EXPECT_EQ(dec(false, B({0xFF})).text, "");
    EXPECT_EQ(dec(false, B({0xFF})).text, "");
    EXPECT_EQ(dec(false, B({0x01, 0x04, 0x20})).text, "");
    r = dec(false, B({0x03, 0x0A, 0xCB}));
    EXPECT_EQ(r.text, "ID 1 reply error 0x20, 2 bytes");
    EXPECT_EQ(r.id, 1);

    EXPECT_EQ(dec(true, B({0xFF, 0xFF, 0x02, 0x05, 0x03, 0x28, 0x01, 0x00, 0xCC})).text,
              "ID 2 Write addr 40, 2 bytes");
    EXPECT_EQ(dec(false, {}).text, "no reply");
    // A length byte below 2 is no reply, however many bytes follow.
    dec(true, B({0xFF, 0xFF, 0x01, 0x02, 0x01, 0xFB}));
    EXPECT_EQ(dec(false, B({0xFF, 0xFF, 0x01, 0x00})).text, "");
    EXPECT_EQ(dec(true, B({0xFF, 0xFF, 0xFE, 0x02, 0x05, 0xFA})).text, "ID 254 Action");
    EXPECT_EQ(dec(true, B({0xFF, 0xFF, 0xFE, 0x0A, 0x83, 0x2A, 0x02, 0x01, 0x10, 0x00, 0x02, 0x20,
                           0x00, 0x00}))
                  .text,
              "ID 254 SyncWrite addr 42 len 2, 2 servos");
    EXPECT_EQ(dec(true, B({0xFF, 0xFF, 0x03, 0x02, 0x42, 0xB8})).text, "ID 3 instruction 0x42");
}

TEST(TraceDecoder, ModbusRequestsRepliesAndExceptions) {
    Decoding dec;
    // Read of ten holding registers from 256 at slave 1, with its CRC.
    auto r = dec(true, B({0x01, 0x03, 0x01, 0x00, 0x00, 0x0A, 0xC4, 0x31}));
    EXPECT_EQ(r.text, "slave 1 read holding 256 x10");
    EXPECT_EQ(r.id, 1);
    EXPECT_EQ(dec(false, B({0x01, 0x03, 0x04})).text, "");
    EXPECT_EQ(dec(false, B({0x00, 0x01, 0x00, 0x02, 0x2A, 0x32})).text, "slave 1 reply 4 bytes");

    EXPECT_EQ(dec(true, B({0x07, 0x06, 0x00, 0x80, 0x02, 0x58, 0x88, 0xDE})).text,
              "slave 7 write 128 = 600");
    EXPECT_EQ(dec(false, B({0x07, 0x86, 0x02, 0x23, 0xA0})).text,
              "slave 7 exception 2 (function 6)");
}

TEST(TraceDecoder, BootLoaderBlocksAndTheirAnswers) {
    Decoding dec;
    std::vector<uint8_t> block(70, 0xFF);
    block[0] = 0x03;
    block[1] = 0xFC;
    block[2] = 0x00;
    block[69] = 6;
    EXPECT_EQ(dec(true, block).text, "block 3 (more)");
    EXPECT_EQ(dec(false, B({6})).text, "ACK");
    block[0] = 0x00;  // block 256
    block[1] = 0xFF;
    block[69] = 4;
    EXPECT_EQ(dec(true, block).text, "block 0 (last)");
    EXPECT_EQ(dec(false, B({21})).text, "NAK");
    EXPECT_EQ(dec(true, B({0x01})).text, "start");
}

TEST(TransferLog, KeepsTheNewestTransfersWithinItsRing) {
    TransferLog log(4);
    const uint8_t bytes[] = {0xAB, 0x01};
    for (int i = 0; i < 6; ++i) log.Record(i % 2 == 0, bytes, i % 3);
    std::vector<TransferRecord> out;
    EXPECT_EQ(log.CopySince(0, out), 6u);
    ASSERT_EQ(out.size(), 4u);  // transfers 1 and 2 were overwritten
    EXPECT_EQ(out.front().seq, 3u);
    EXPECT_EQ(out.back().seq, 6u);
    EXPECT_EQ(log.CopySince(5, out), 6u);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].length, 2);
    EXPECT_FALSE(out[0].sent);
    EXPECT_EQ(log.CopySince(6, out), 6u);
    EXPECT_TRUE(out.empty());

    // A transfer longer than a record keeps its start and its true length.
    std::vector<uint8_t> long_write(600, 0x5A);
    log.Record(true, long_write.data(), 600);
    log.CopySince(6, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].length, 600);
    EXPECT_EQ(out[0].kept(), 264);

    EXPECT_EQ(FormatTraceLine(12345678, true, bytes, 2), "12.345678 TX AB 01");
    EXPECT_EQ(FormatTraceLine(7, false, bytes, 0), "0.000007 RX -");
}

class FakeMonitorView : public BusMonitorView {
  public:
    void RowsChanged(size_t removed, size_t added, bool reset) override {
        changes.push_back({removed, added, reset});
    }
    std::string AskSaveFile(const std::string&) override { return save_as; }
    void ShowError(const std::string& text, const std::string& caption) override {
        errors.push_back(caption + ": " + text);
    }
    struct Change {
        size_t removed, added;
        bool reset;
        bool operator==(const Change&) const = default;
    };
    std::vector<Change> changes;
    std::vector<std::string> errors;
    std::string save_as;
};

TEST(BusMonitor, PauseClearFilterAndSave) {
    TransferLog log;
    FakeMonitorView view;
    BusMonitor monitor(log, view, false);
    auto put = [&](bool sent, std::vector<uint8_t> b) {
        log.Record(sent, b.data(), static_cast<int>(b.size()));
    };
    put(true, B({0xFF, 0xFF, 0x01, 0x04, 0x02, 0x00, 0x09, 0xEF}));
    put(false, {});
    put(true, B({0xFF, 0xFF, 0x02, 0x04, 0x02, 0x00, 0x09, 0xEE}));
    monitor.Refresh();
    ASSERT_EQ(monitor.shown().size(), 3u);
    EXPECT_EQ(view.changes.back(), (FakeMonitorView::Change{0, 3, false}));
    EXPECT_EQ(monitor.shown()[0].BytesText(), "FF FF 01 04 02 00 09 EF");
    EXPECT_EQ(monitor.shown()[1].BytesText(), "-");
    EXPECT_EQ(monitor.shown()[1].decoded.text, "no reply");
    EXPECT_EQ(monitor.shown()[2].decoded.text, "ID 2 Read addr 0 len 9");

    // Paused, nothing new shows; resumed, what came meanwhile does.
    monitor.SetPaused(true);
    put(false, {});
    monitor.Refresh();
    EXPECT_EQ(monitor.shown().size(), 3u);
    monitor.SetPaused(false);
    monitor.Refresh();
    EXPECT_EQ(monitor.shown().size(), 4u);

    // Id 1: its request and the read that answered it.
    EXPECT_TRUE(monitor.SetFilter("1"));
    ASSERT_EQ(monitor.shown().size(), 2u);
    EXPECT_EQ(monitor.shown()[1].decoded.text, "no reply");
    EXPECT_FALSE(monitor.SetFilter("1x"));
    EXPECT_EQ(monitor.shown().size(), 4u);
    EXPECT_FALSE(monitor.SetFilter("300"));
    EXPECT_TRUE(monitor.SetFilter("2"));
    EXPECT_EQ(monitor.shown().size(), 2u);

    TestFolder folder;
    view.save_as = folder.path() + "/trace.txt";
    ASSERT_TRUE(monitor.Save());
    // Two lines of the trace format; the times are those of the log.
    const std::string saved = Slurp(view.save_as);
    const std::string first = monitor.shown()[0].TimeText(), second = monitor.shown()[1].TimeText();
    EXPECT_EQ(saved, first + " TX FF FF 02 04 02 00 09 EE\n" + second + " RX -\n");
    EXPECT_EQ(first.size(), 8u);  // "0.000123": seconds, a point, six digits
    view.save_as = folder.path() + "/missing/trace.txt";
    EXPECT_FALSE(monitor.Save());
    ASSERT_EQ(view.errors.size(), 1u);
    EXPECT_EQ(view.errors[0], "Bus monitor: Cannot write " + view.save_as);

    monitor.Clear();
    EXPECT_TRUE(monitor.shown().empty());
    EXPECT_EQ(view.changes.back(), (FakeMonitorView::Change{0, 0, true}));
}

TEST(BusMonitor, RowsStayBoundedHoweverLongItRuns) {
    TransferLog log;
    FakeMonitorView view;
    BusMonitor monitor(log, view, false);
    const uint8_t b[] = {0x01};
    for (int round = 0; round < 3; ++round) {
        for (size_t i = 0; i < 3000; ++i) log.Record(true, b, 1);
        monitor.Refresh();
    }
    EXPECT_EQ(monitor.shown().size(), 4096u);
    EXPECT_EQ(view.changes.back().removed, 3000u);  // 9000 came, 4096 stay
}

TEST(WindowGeometry, SavedPlaceIsUsedWhileAScreenHoldsIt) {
    EXPECT_EQ(FormatWindowRect({-5, 20, 1200, 700}), "-5,20,1200,700");
    EXPECT_EQ(ParseWindowRect("-5,20,1200,700"), (WindowRect{-5, 20, 1200, 700}));
    for (const char* bad : {"", "1,2,3", "1,2,3,4,5", "1,2,0,4", "1,2,-3,4", "a,2,3,4", "1, 2,3,4",
                            "1,2,3,4 ", "99999999999,2,3,4"})
        EXPECT_FALSE(ParseWindowRect(bad).has_value()) << bad;

    const std::vector<WindowRect> screens = {{0, 0, 1400, 860}, {1400, 0, 1920, 1080}};
    // On the second screen: kept as it was.
    EXPECT_EQ(PlaceWindow(WindowRect{1500, 100, 1300, 800}, screens, 1120, 700),
              (WindowRect{1500, 100, 1300, 800}));
    // Larger than the screen whose top edge it has: moved and shrunk onto it.
    EXPECT_EQ(PlaceWindow(WindowRect{100, 50, 1600, 1000}, screens, 1120, 700),
              (WindowRect{0, 0, 1400, 860}));
    // Its screen is gone, or there never was a saved place: the default, centred.
    EXPECT_EQ(PlaceWindow(WindowRect{4000, 100, 900, 600}, screens, 1120, 700),
              (WindowRect{140, 80, 1120, 700}));
    EXPECT_EQ(PlaceWindow(std::nullopt, {{0, 0, 1024, 600}}, 1120, 700),
              (WindowRect{0, 0, 1024, 600}));
    EXPECT_EQ(PlaceWindow(std::nullopt, {}, 1120, 700), (WindowRect{0, 0, 1120, 700}));
}

}  // namespace
