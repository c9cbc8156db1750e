// The application object: runs the main window as a modal dialog and ends the program
// when it closes.
#pragma once

#include <QApplication>

namespace kelvandor {

class ControllerApp : public QApplication {
    Q_OBJECT
  public:
    ControllerApp(int& argc, char** argv);

    // Runs the main window until it closes. Returns false: the program then ends.
    bool startUp();
};

}  // namespace kelvandor
