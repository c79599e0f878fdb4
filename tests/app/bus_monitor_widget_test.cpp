// The bus monitor panel on the offscreen platform against the simulated bus: a scripted
// exchange (an instruction-protocol read, a Modbus read, a read nobody answers) shows up
// decoded, the id filter narrows it, and "Save" writes the shown rows as a trace.
#include "app/bus_monitor_widget.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <sstream>

#include "modbus/modbus.h"
#include "protocol/tervion.h"
#include "tests/support/demo_bus.h"
#include "tests/support/test_folder.h"
#include "tools/sim/model_catalog.h"
#include "tools/sim/sim_bus.h"
#include "tools/sim/sim_options.h"
#include "transport/cqv_comm.h"
#include "transport/transfer_log.h"

namespace {

std::vector<std::string> Column(QTableView* table, int column) {
    std::vector<std::string> texts;
    for (int r = 0; r < table->model()->rowCount(); ++r)
        texts.push_back(table->model()->index(r, column).data().toString().toStdString());
    return texts;
}

std::vector<std::string> NonEmpty(std::vector<std::string> v) {
    std::erase(v, std::string());
    return v;
}

TEST(BusMonitorWidget, ScriptedExchangeDecodedFilteredAndSaved) {
    sim::SimBus bus;
    ASSERT_EQ(StartDemoBus(bus), "");

    CQVComm comm;
    ASSERT_EQ(comm.OpenPort(bus.port_path()), 1);
    comm.ConfigurePort(115200, 0, 25);
    Tervion tervion;
    tervion.Comm = &comm;
    Modbus modbus;
    modbus.Port = &comm;
    TransferLog log;
    log.Attach(comm);
    {
        BusMonitorWidget panel(log, false);
        panel.resize(900, 300);
        panel.show();

        uint8_t record[9];
        ASSERT_EQ(tervion.Read(1, 0, record, 9), 9);
        uint16_t registers[2];
        ASSERT_EQ(modbus.ReadHoldingRegisters(6, 0, registers, 2), 2);
        EXPECT_EQ(tervion.Read(9, 0, record, 9), 0);

        QTableView* table = panel.table();
        const std::vector<std::string> expected = {
            "ID 1 Read addr 0 len 9", "ID 1 reply error 0x00, 9 bytes", "slave 6 read holding 0 x2",
            "slave 6 reply 4 bytes",  "ID 9 Read addr 0 len 9",         "no reply"};
        // The panel takes what the port recorded on its next refresh.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return NonEmpty(Column(table, 3)).size() >= expected.size(); }, 5000));
        EXPECT_EQ(NonEmpty(Column(table, 3)), expected);
        const std::vector<std::string> bytes = Column(table, 2);
        EXPECT_EQ(bytes.front(), "FF FF 01 04 02 00 09 EF");
        EXPECT_EQ(bytes.back(), "-");
        const std::vector<std::string> dirs = Column(table, 1);
        EXPECT_EQ(dirs.front(), "TX");
        EXPECT_EQ(dirs.back(), "RX");

        // Id 6 only: the Modbus request and its reply.
        panel.findChild<QLineEdit*>()->setText("6");
        EXPECT_EQ(Column(table, 2), (std::vector<std::string>{"06 03 00 00 00 02 C5 BC",
                                                              "06 03 04 00 D2 03 25 ED E1"}));

        TestFolder folder;
        const std::string path = folder.path() + "/trace.txt";
        panel.SetSaveFileHook([&] { return path; });
        for (QPushButton* b : panel.findChildren<QPushButton*>())
            if (b->text() == "Save") b->click();
        std::istringstream saved(Slurp(path));
        std::vector<std::string> lines;
        for (std::string line; std::getline(saved, line);)
            lines.push_back(line.substr(line.find(' ')));
        const std::vector<std::string> trace = Column(table, 0);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], " TX 06 03 00 00 00 02 C5 BC");
        EXPECT_EQ(lines[1], " RX 06 03 04 00 D2 03 25 ED E1");
        EXPECT_EQ(Slurp(path).substr(0, trace[0].size() + 1), trace[0] + " ");

        // Clear empties the list (pausing is checked on the monitor itself).
        for (QPushButton* b : panel.findChildren<QPushButton*>())
            if (b->text() == "Clear") b->click();
        EXPECT_EQ(table->model()->rowCount(), 0);
    }
    comm.TransferObserver = nullptr;
    comm.ClosePort();
    bus.Stop();
}

}  // namespace
