// kelvandor-controller: the desktop controller of the antenna unit.
#include "shell/controller_app.h"

int main(int argc, char** argv) {
    kelvandor::ControllerApp app(argc, argv);
    app.startUp();
    return 0;
}
