#include "shell/controller_app.h"

#include "shell/main_dialog.h"
#include "ui/prompter.h"

namespace kelvandor {

ControllerApp::ControllerApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("kelvandor-controller"));
    setApplicationDisplayName(ui::applicationTitle());
    setQuitOnLastWindowClosed(false);
}

bool ControllerApp::startUp() {
    MainDialog dialog;
    dialog.exec();
    return false;
}

}  // namespace kelvandor
