// The Programming page on screen (offscreen platform): the table fills from a simulated
// servo through the real 100 ms refresh, a value is edited and saved with button 1278, the
// next refresh shows it; a screenshot of the page in both languages.
#include "pages/programming/servo_pg_widget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include "app/qt_dispatcher_widget.h"
#include "pages/programming/pg_table_model_widget.h"
#include "tests/programming/pg_fixture.h"
#include "tests/support/on_screen.h"

using namespace pg_test;

namespace {

int RowNamed(const PgTableModel& m, const std::string& name) {
    for (int r = 0; r < m.rowCount(); ++r)
        if (m.Cell(r, 1) == name) return r;
    return -1;
}

}  // namespace

class PgWidgetTest : public PgTest {
  protected:
    void Run(bool chinese, const std::string& shot) {
        QtUiDispatcher qt_ui;
        // The setup files of the page's language name its special entries.
        ServoSetup files(StringTable(chinese), settings);
        files.SetFolders(std::string(VEXA_RESOURCE_DIR) + "/setup");
        CServoPG qt_page(files, lock, modbus, tervion, *services, chinese, qt_ui);
        CServoPGWidget w(qt_page);
        w.resize(820, 560);
        w.show();
        tervion.End = kVx40_1[2];
        qt_page.SelectServo(1, kVx40_1, kKindServo);
        qt_page.StartRefresh();
        PgTableModel& model = *w.Model();
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.rowCount() == 59; }, 5000));
        EXPECT_EQ(model.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
                  chinese ? QString::fromUtf8("数值") : QString("Value"));
        // The name column takes its 160 pixels and whatever room the table has beyond.
        EXPECT_GE(w.Table()->columnWidth(1), 160);
        EXPECT_EQ(w.Table()->columnWidth(2), 80);

        const std::string name = chinese ? "最高温度限制" : "Max temperature";
        const int row = RowNamed(model, name);
        ASSERT_GE(row, 0);
        w.Table()->scrollTo(model.index(row, 0));
        const QRect cell = w.Table()->visualRect(model.index(row, 1));
        QTest::mouseClick(w.Table()->viewport(), Qt::LeftButton, {}, cell.center());
        auto* edit = static_cast<QLineEdit*>(w.Control(kValueEdit));
        auto* button = static_cast<QPushButton*>(w.Control(kValueButton));
        ASSERT_TRUE(edit->isEnabled());
        EXPECT_EQ(button->text(), chinese ? QString::fromUtf8("保存") : QString("Save"));
        edit->setText(chinese ? "85" : "88");

        QString shown;
        QTimer::singleShot(50, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = box->text();
                box->accept();
            }
        });
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(shown, chinese ? QString::fromUtf8("参数保存成功")
                                 : QString("Parameters saved successfully"));
        const std::string want = chinese ? "85" : "88";
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.Cell(row, 2) == want; }, 5000));
        // The refresh left the user's selection where it was.
        EXPECT_TRUE(w.Table()->selectionModel()->isRowSelected(row, {}));
        EXPECT_TRUE(SaveShot(w, shot));
        qt_page.StopRefresh();
    }
};

TEST_F(PgWidgetTest, TableFillsValueIsSavedAndShown) {
    Run(false, "programming_page_en.png");
    Run(true, "programming_page_zh.png");
    EXPECT_EQ(Peek(1, 13), 85);
}
