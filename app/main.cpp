// Vexa: the start-up sequence, then the main window until it is closed.
//   Vexa [--port PATH]     PATH (or $VEXA_PORT) is offered first in the port list
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/main_window_widget.h"
#include "app/qt_dispatcher_widget.h"
#include "app/servo_pc_app.h"
#include "platform/settings_store.h"

namespace {

std::string PreferredPort(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) return argv[i + 1];
        if (std::strncmp(argv[i], "--port=", 7) == 0) return argv[i] + 7;
    }
    const char* env = std::getenv("VEXA_PORT");
    return env != nullptr ? env : "";
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(":/vexa.png"));
    const std::string preferred_port = PreferredPort(argc, argv);
    QtUiDispatcher ui;
    std::unique_ptr<MainWindow> window;

    StartupHooks hooks = StartupHooks::System();
    hooks.show_message = [](const std::string& text, const std::string& caption, MessageIcon icon) {
        QMessageBox box(icon == MessageIcon::kError ? QMessageBox::Critical : QMessageBox::Warning,
                        QString::fromStdString(caption), QString::fromStdString(text));
        box.exec();
    };
    hooks.create_main_window = [&](CServoPCApp& pc) {
        window = std::make_unique<MainWindow>(
            MainWindowParts{pc.strings(), pc.setup(), pc.tervion(), pc.modbus(), pc.bus_lock(),
                            pc.comm(), ui, pc.chinese()});
        window->logic().SetPreferredPort(preferred_port);
        window->logic().OnInitDialog();
        window->RestoreGeometry(pc.settings());
        window->widget().show();
        return true;
    };

    CServoPCApp pc(hooks, SettingsStore::DefaultFolder());
    if (!pc.InitInstance()) return 1;
    const int rc = app.exec();
    if (window) window->SaveGeometry(pc.settings());
    window.reset();
    return rc;
}
