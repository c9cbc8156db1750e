#include "shell/controller_app.h"

#include "shell/main_dialog.h"

namespace kelvandor {

ControllerApp::ControllerApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("kelvandor-controller"));
    // No display name: on X11 Qt would append it to the title of every window whose title
    // does not end with it, and the small dialogs must show exactly their own titles.
    // Every window names itself instead: the main window and the message boxes carry the
    // application title (ui::applicationTitle()), each small dialog its own caption.
    setQuitOnLastWindowClosed(false);
}

bool ControllerApp::startUp() {
    MainDialog dialog;
    dialog.exec();
    return false;
}

}  // namespace kelvandor
