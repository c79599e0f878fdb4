// The whole main window on the offscreen platform, English and Chinese, at scale 1 and 2:
// no control is clipped at the default size, every Programming column is in view, the
// Upgrade text boxes share the height, the PWM groups stay at the top; the window's place
// is remembered.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/bus_monitor_widget.h"
#include "app/main_window_widget.h"
#include "app/qt_dispatcher_widget.h"
#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "pages/debug/cpic_widget.h"
#include "pages/debug/robot_dlg.h"
#include "pages/debug/robot_dlg_widget.h"
#include "pages/programming/servo_pg_widget.h"
#include "pages/pwm/servo_pwm_widget.h"
#include "pages/upgrade/servo_test_widget.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "protocol/tervion.h"
#include "tests/app/shared_objects.h"
#include "tests/qt_sanitizer_suppressions.h"
#include "tests/support/on_screen.h"
#include "tests/support/test_folder.h"
#include "tools/sim/model_catalog.h"
#include "tools/sim/sim_options.h"
#include "transport/cqv_comm.h"

namespace {

// One process per test (ctest), so each test may choose its scale before Qt starts.
struct Rig : SharedObjects {
    Rig(bool chinese, const char* scale) : SharedObjects(chinese) {
        if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        if (scale)
            setenv("QT_SCALE_FACTOR", scale, 1);
        else
            unsetenv("QT_SCALE_FACTOR");
        static int argc = 1;
        static char name[] = "window_layout_test";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QApplication>(argc, argv);
        ui = std::make_unique<QtUiDispatcher>();
        window = std::make_unique<MainWindow>(
            MainWindowParts{strings, setup, tervion, modbus, lock, comm, *ui, chinese});
        window->logic().OnInitDialog();
    }
    ~Rig() {
        window.reset();
        comm.ClosePort();
    }
    ServoMainWidget& w() { return window->widget(); }

    std::unique_ptr<QApplication> app;
    std::unique_ptr<QtUiDispatcher> ui;
    std::unique_ptr<MainWindow> window;
};

// The names of visible controls whose text needs more room than they have, or that stick
// out of the widget they sit in.
std::vector<std::string> Clipped(QWidget* root) {
    std::vector<std::string> found;
    for (QWidget* c : root->findChildren<QWidget*>()) {
        if (!c->isVisibleTo(root) || !c->parentWidget() || !c->parentWidget()->isVisibleTo(root))
            continue;
        if (qobject_cast<QAbstractScrollArea*>(c->parentWidget()->parentWidget())) continue;
        const QString name =
            c->metaObject()->className() + QStringLiteral(" ") +
            (qobject_cast<QAbstractButton*>(c) ? qobject_cast<QAbstractButton*>(c)->text()
             : qobject_cast<QLabel*>(c)        ? qobject_cast<QLabel*>(c)->text()
             : qobject_cast<QGroupBox*>(c)     ? qobject_cast<QGroupBox*>(c)->title()
                                               : c->objectName());
        if (!c->parentWidget()->rect().contains(c->geometry()))
            found.push_back("outside parent: " + name.toStdString());
        const bool has_text = qobject_cast<QAbstractButton*>(c) || qobject_cast<QLabel*>(c);
        if (has_text && c->height() < c->minimumSizeHint().height())
            found.push_back("too low: " + name.toStdString());
        if (auto* group = qobject_cast<QGroupBox*>(c);
            group && group->fontMetrics().horizontalAdvance(group->title()) + 8 > group->width())
            found.push_back("title cut: " + name.toStdString());
        if (auto* label = qobject_cast<QLabel*>(c); label && !label->wordWrap() &&
                                                    label->pixmap().isNull() &&
                                                    label->width() < label->sizeHint().width())
            found.push_back("text cut: " + name.toStdString());
        if (auto* button = qobject_cast<QAbstractButton*>(c);
            button && button->width() < button->sizeHint().width() &&
            !qobject_cast<QToolButton*>(c))
            found.push_back("text cut: " + name.toStdString());
    }
    return found;
}

// Checks every page at the default size; leaves a picture of each as name-TAB.png.
void CheckPages(Rig& rig, const std::string& name) {
    ServoMainWidget& w = rig.w();
    w.resize(MainWindow::kDefaultWidth, MainWindow::kDefaultHeight);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    for (int tab = 0; tab < 4; ++tab) {
        w.tabs()->setCurrentIndex(tab);
        QApplication::processEvents();
        EXPECT_EQ(Clipped(&w), std::vector<std::string>()) << "tab " << tab;
        SaveShot(w, name + "-" + std::to_string(tab) + ".png");
    }

    // Programming: the five columns side by side in the table, no horizontal scrolling.
    w.tabs()->setCurrentIndex(1);
    QApplication::processEvents();
    auto* table = rig.window->programming_widget().findChild<QTableView*>();
    ASSERT_NE(table, nullptr);
    int columns = 0;
    for (int c = 0; c < table->model()->columnCount(); ++c)
        columns += table->horizontalHeader()->sectionSize(c);
    EXPECT_EQ(table->model()->columnCount(), 5);
    EXPECT_LE(columns, table->viewport()->width());
    EXPECT_FALSE(table->horizontalScrollBar()->isVisible());

    // Upgrade: the results and the firmware log share the page's height.
    w.tabs()->setCurrentIndex(2);
    QApplication::processEvents();
    const auto boxes = rig.window->upgrade_widget().findChildren<QPlainTextEdit*>();
    ASSERT_EQ(boxes.size(), 2);
    const double ratio = double(boxes[0]->height()) / boxes[1]->height();
    EXPECT_GT(ratio, 0.75);
    EXPECT_LT(ratio, 1.33);
    EXPECT_GT(boxes[0]->height() + boxes[1]->height(), rig.window->upgrade_widget().height() / 2);

    // PWM: the groups follow each other from the top; the room left is below them.
    w.tabs()->setCurrentIndex(3);
    QApplication::processEvents();
    QWidget& pwm = rig.window->pwm_widget();
    int lowest = 0;
    for (QGroupBox* g : pwm.findChildren<QGroupBox*>())
        lowest = std::max(lowest, g->mapTo(&pwm, QPoint(0, g->height())).y());
    EXPECT_LT(lowest, pwm.height() * 3 / 4);
    EXPECT_GT(lowest, 0);
}

TEST(WindowLayout, EnglishAtDefaultSize) {
    Rig rig(false, nullptr);
    CheckPages(rig, "layout-en");
}

TEST(WindowLayout, EnglishAtScaleTwo) {
    Rig rig(false, "2");
    EXPECT_EQ(rig.w().devicePixelRatio(), 2);
    CheckPages(rig, "layout-en-x2");
}

TEST(WindowLayout, ChineseAtScaleTwo) {
    Rig rig(true, "2");
    EXPECT_EQ(rig.w().devicePixelRatio(), 2);
    CheckPages(rig, "layout-zh-x2");
    // The bus monitor open below the pages clips nothing either.
    rig.w().pane_toggle()->click();
    QApplication::processEvents();
    EXPECT_TRUE(rig.window->monitor().isVisible());
    EXPECT_EQ(Clipped(&rig.w()), std::vector<std::string>());
    rig.w().tabs()->setCurrentIndex(0);
    EXPECT_TRUE(SaveShot(rig.w(), "window-zh-x2.png"));
}

TEST(WindowLayout, PlaceIsRememberedAndFallsBackOnTheScreen) {
    Rig rig(false, nullptr);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();

    // First start: the default size, no larger than the screen, centred on it.
    rig.window->RestoreGeometry(rig.settings);
    const QRect first = rig.w().geometry();
    EXPECT_EQ(first.width(), std::min(1120, screen.width()));
    EXPECT_EQ(first.center().x() / 4, screen.center().x() / 4);

    rig.w().setGeometry(screen.x() + 10, screen.y() + 20, 500, 400);
    rig.window->SaveGeometry(rig.settings);
    EXPECT_EQ(rig.settings.Read("windowGeometry"),
              std::to_string(screen.x() + 10) + "," + std::to_string(screen.y() + 20) + ",500,400");
    rig.w().setGeometry(0, 0, 300, 300);
    rig.window->RestoreGeometry(rig.settings);
    EXPECT_EQ(rig.w().geometry(), QRect(screen.x() + 10, screen.y() + 20, 500, 400));

    // A place on a screen that is gone: back to the default.
    rig.settings.Write("windowGeometry", "5000,5000,500,400");
    rig.window->RestoreGeometry(rig.settings);
    EXPECT_EQ(rig.w().geometry(), first);
}

}  // namespace
