// SPDX-License-Identifier: GPL-3.0-or-later
// The application object: runs the main window as a modal dialog and ends the program
// when it closes.
#pragma once

#include <QApplication>

namespace kelvandor {

class ControllerSetup;

class ControllerApp : public QApplication {
    Q_OBJECT
  public:
    ControllerApp(int& argc, char** argv);

    // Runs the main window until it closes, its link observed by the traffic log of
    // `setup` when one is open. Returns false: the program then ends.
    bool startUp(ControllerSetup* setup = nullptr);
};

}  // namespace kelvandor
