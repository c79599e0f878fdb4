// VexaUpdate's dialog on screen (offscreen platform) against vexa-server: a click runs the
// download, the log and the final box appear, the button comes back. Screenshot saved
// under the build folder's artifacts.
#include "updater/update_dlg_widget.h"

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <iostream>

#include "tests/support/on_screen.h"
#include "tests/updater/update_fixture.h"
#include "updater/update_dlg.h"

namespace {

using UpdateWidget = UpdateRun;

QMessageBox* OpenBox() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
    }
    return nullptr;
}

TEST_F(UpdateWidget, DownloadRunsToTheSuccessBox) {
    Publish(Program(3000), "filename=Vexa\nbanben=1.9.8.2\n");
    CUpdateDlgWidget dialog(settings_, work_.path(), false, UpdateServerAccess::Default());
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "VexaUpdate");
    EXPECT_EQ(dialog.Log()->toPlainText(), "Click download to start upgrade!");
    EXPECT_TRUE(dialog.Log()->isReadOnly());
    EXPECT_EQ(dialog.DownloadButton()->text(), "Download");

    QTest::mouseClick(dialog.DownloadButton(), Qt::LeftButton);
    QMessageBox* box = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (box = OpenBox()) != nullptr; }));
    EXPECT_EQ(box->text(), "Upgrade successful!");
    EXPECT_EQ(box->windowTitle(), "VexaUpdate");
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_TRUE(dialog.DownloadButton()->isEnabled());
    const QString log = dialog.Log()->toPlainText();
    EXPECT_TRUE(log.startsWith("File:Vexa\nVersion:1.9.8.2\nUpload:")) << log.toStdString();
    EXPECT_TRUE(log.endsWith("kb\nVersion registered successfully!")) << log.toStdString();
    EXPECT_EQ(Slurp(Work("Vexa")), Program(3000));

    ASSERT_TRUE(SaveShot(dialog, "vexa_update.png"));
    box->accept();
}

}  // namespace
