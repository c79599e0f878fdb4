// VexaUpdate: replaces the Vexa program in the current folder with the newest build on the
// update server and records its date for Vexa's start-up check. No command line is read.
#include <QApplication>
#include <QIcon>

#include "platform/settings_store.h"
#include "platform/system.h"
#include "updater/update_dlg.h"
#include "updater/update_dlg_widget.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(":/vexa.png"));
    SettingsStore settings(SettingsStore::DefaultFolder());
    CUpdateDlgWidget dialog(settings, ".", UserIsChinese(), UpdateServerAccess::Default());
    dialog.exec();
    return 0;
}
