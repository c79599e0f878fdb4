// The Qt main window on the offscreen platform, with the real Debug page, against the
// simulated bus: open, search and select through the widgets, then save a screenshot.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "app/qt_dispatcher_widget.h"
#include "app/servo_main.h"
#include "app/servo_main_widget.h"
#include "app_fakes.h"
#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "pages/debug/robot_dlg.h"
#include "pages/debug/robot_dlg_widget.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "protocol/tervion.h"
#include "shared_objects.h"
#include "tests/support/demo_bus.h"
#include "tests/support/on_screen.h"
#include "tools/sim/model_catalog.h"
#include "tools/sim/sim_bus.h"
#include "tools/sim/sim_options.h"
#include "transport/cqv_comm.h"

namespace {

TEST(MainWidget, OpenSearchSelectAndScreenshot) {
    sim::SimBus bus;
    ASSERT_EQ(StartDemoBus(bus), "");

    SharedObjects shared;
    StringTable& strings = shared.strings;
    QtUiDispatcher ui;
    FakeWindow fakes;
    {
        CRobotDlg debug(shared.setup, shared.modbus, shared.tervion, shared.lock, false, ui);
        ServoMainWidget window(strings);
        CServoMain main(window, ui, strings);
        auto* debug_widget = new CRobotDlgWidget(debug, false);
        window.SetPage(CServoMain::kTabDebug, debug_widget);
        main.Wire({&debug, &fakes.pg, &fakes.upgrade, &fakes.pwm}, shared.Bus(), false);
        main.SetPreferredPort(bus.port_path());
        window.SetLogic(&main);
        main.OnInitDialog();
        window.show();

        EXPECT_EQ(window.windowTitle(), "ZQ Tervion Debug V1.9.8.1");
        ASSERT_EQ(window.tabs()->count(), 4);
        EXPECT_EQ(window.tabs()->tabText(1), "Programming");
        EXPECT_EQ(window.port_combo()->currentText().toStdString(), bus.port_path());
        // "All rates" is a check box the logic reads; a rate column gets its cells.
        EXPECT_EQ(window.all_rates_box()->text(), "All rates");
        window.all_rates_box()->setChecked(true);
        EXPECT_TRUE(window.IsChecked(kAllRatesCheck));
        window.all_rates_box()->setChecked(false);
        EXPECT_FALSE(window.IsChecked(kAllRatesCheck));
        window.SetListColumns({"ID", "Modle", "Baud"}, {40, 110, 60});
        window.AppendRow("4", "VX62 servo (1024 steps)");
        window.SetCellText(0, 2, "57600");
        EXPECT_EQ(window.CellText(0, 2), "57600");
        window.ClearList();
        window.SetListColumns({"ID", "Modle"}, {40, 110});

        // The time-out edit: a short extra time keeps the empty ids quick.
        for (QLineEdit* edit : window.findChildren<QLineEdit*>()) {
            if (edit->text() == "25") edit->setText("5");
        }
        QTest::mouseClick(window.open_button(), Qt::LeftButton);
        ASSERT_EQ(window.open_button()->text(), "Close");
        EXPECT_FALSE(window.port_combo()->isEnabled());

        QTest::mouseClick(window.search_button(), Qt::LeftButton);
        EXPECT_EQ(window.search_button()->text(), "Stop");
        // The window keeps working while the worker probes: progress reaches the status line.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return window.status_line()->text().startsWith("Ping ID:"); }, 10000));
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return window.search_button()->text() == "Search"; }, 120000))
            << "search did not end";
        EXPECT_EQ(window.status_line()->text(), "Stop");
        // Long status texts show their start; the whole text is the tool tip.
        EXPECT_EQ(window.status_line()->cursorPosition(), 0);
        EXPECT_EQ(window.status_line()->toolTip(), "Stop");

        QTableWidget* list = window.servo_list();
        ASSERT_EQ(list->rowCount(), 7);
        EXPECT_EQ(list->item(2, 0)->text(), "3");
        EXPECT_EQ(list->item(2, 1)->text(), "VX62 servo (1024 steps)");
        EXPECT_EQ(list->item(6, 1)->text(), "VXM8 Modbus servo");

        const QRect cell = list->visualItemRect(list->item(0, 1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        EXPECT_EQ(window.status_line()->text(), "Select ID:1");
        EXPECT_EQ(main.selected_index(), 0);
        // Arrow down moves the selection; its release selects the next servo.
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        EXPECT_EQ(window.status_line()->text(), "Select ID:2");
        EXPECT_EQ(main.selected_index(), 1);

        // Drive the selected servo across its range so the picture shows living curves.
        auto* goal = qobject_cast<QSlider*>(debug_widget->Control(kGoalSlider));
        ASSERT_NE(goal, nullptr);
        const auto arrives = [&](int goal) {
            return QTest::qWaitFor(
                [&] {
                    return debug_widget->Control(kPositionStatic)->property("text") ==
                           QString::number(goal);
                },
                10000);
        };
        goal->setSliderPosition(3600);  // as a drag does
        EXPECT_TRUE(arrives(3600));
        goal->setSliderPosition(600);
        EXPECT_TRUE(arrives(600));
        ASSERT_TRUE(SaveShot(window, "main-window.png"));

        // Closing the window mid-search stops and joins the worker.
        QTest::mouseClick(window.search_button(), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return window.status_line()->text().startsWith("Ping ID:"); }, 10000));
        window.close();  // returns once the worker has been joined
        ASSERT_TRUE(QTest::qWaitFor([&] { return !main.searching(); }, 2000));
        EXPECT_EQ(window.search_button()->text(), "Search");
        debug.StopPolling();
        debug.AttachView(nullptr);
        window.SetLogic(nullptr);
    }
    bus.Stop();
}

}  // namespace
