// SPDX-License-Identifier: GPL-3.0-or-later
// "Add City to GPS List": a small modal dialog that asks for a city's name and position.
// It is opened with the position texts and hemisphere indexes filled in and an empty
// name, and on "ADD" hands back what the user left in it. The name box takes only what
// the city file keeps whole (geo::MaxCityNameBytes bytes of UTF-8, fewer characters in
// scripts other than Latin); the rest it leaves to the page.
#pragma once

#include <QString>

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

    // Shows the dialog and waits for the user (through ui::prompter()). True when closed
    // with "ADD": the fields below then hold what the dialog showed.
    bool run();

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
