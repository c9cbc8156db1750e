// "Add City to GPS List": a small modal dialog that asks for a city's name and position.
// It is opened with the position texts and hemisphere indexes filled in and an empty
// name, and on "ADD" hands back what the user left in it. It checks nothing itself.
#pragma once

#include <QString>
#include <functional>

#include "ui/dialog_window.h"

namespace kelvandor {

class AddCityDialog : public ui::DialogWindow {
    Q_OBJECT
  public:
    static constexpr int TemplateId = 112;
    static constexpr int LongitudeEdit = 1034;
    static constexpr int EastWestList = 1038;
    static constexpr int LatitudeEdit = 1035;
    static constexpr int NorthSouthList = 1041;
    static constexpr int NameEdit = 1032;
    static constexpr int AddButton = 1;
    static constexpr int CancelButton = 2;

    // A modal window over `owner`'s window.
    explicit AddCityDialog(QWidget* owner);

    // Shows the dialog and waits for the user. True when closed with "ADD": the fields
    // below then hold what the dialog showed.
    bool run();

    // Stands in for the user, instead of the modal loop (tests): it is called with the
    // dialog built and its fields shown, may fill and choose in its controls, and returns
    // true to press "ADD" or false to cancel. Returns the responder it replaces.
    using Responder = std::function<bool(AddCityDialog&)>;
    static Responder installResponder(Responder responder);

    QString longitudeText;
    QString latitudeText;
    QString cityName;
    int eastWestIndex = 0;
    int northSouthIndex = 0;

  private:
    void onAdd();
    void onCancel();
};

}  // namespace kelvandor
