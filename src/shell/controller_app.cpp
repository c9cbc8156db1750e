// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/controller_app.h"

#include "kelvandor_version.h"
#include "shell/controller_setup.h"
#include "shell/main_dialog.h"

namespace kelvandor {

ControllerApp::ControllerApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("kelvandor-controller"));
    setApplicationVersion(QStringLiteral(KELVANDOR_VERSION));
    // Matches the desktop entry, so the desktop can tie the window to it.
    setDesktopFileName(QStringLiteral(KELVANDOR_APP_ID));
    // No display name: on X11 Qt would append it to the title of every window whose title
    // does not end with it, and the small dialogs must show exactly their own titles.
    // Every window names itself instead: the main window and the message boxes carry the
    // application title (ui::applicationTitle()), each small dialog its own caption.
    setQuitOnLastWindowClosed(false);
}

bool ControllerApp::startUp(ControllerSetup* setup) {
    MainDialog dialog(setup != nullptr ? setup->naming() : ComPortNaming::fromEnvironment());
    // The window sends nothing while it is made (the automatic connection only opens the
    // port), so the log sees the link's first frame.
    if (setup != nullptr) {
        setup->attach(dialog.link());
    }
    dialog.exec();
    return false;
}

}  // namespace kelvandor
