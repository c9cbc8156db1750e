// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/add_city_dialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

#include "geo/city_list.h"
#include "ui/prompter.h"

namespace kelvandor {

namespace {

using ui::ControlKind;
using ui::NoId;
using D = AddCityDialog;

constexpr ui::ControlTemplate Controls[] = {
    {NoId, ControlKind::Label, "Longitude", 10, 12, 40, 10},
    {D::LongitudeEdit, ControlKind::Edit, "", 52, 10, 40, 12},
    {D::EastWestList, ControlKind::DropDownList, "E\nW", 96, 10, 30, 40},
    {NoId, ControlKind::Label, "Latitude", 10, 30, 40, 10},
    {D::LatitudeEdit, ControlKind::Edit, "", 52, 28, 40, 12},
    {D::NorthSouthList, ControlKind::DropDownList, "N\nS", 96, 28, 30, 40},
    {NoId, ControlKind::Label, "City : ", 10, 48, 40, 10},
    {D::NameEdit, ControlKind::Edit, "", 52, 46, 128, 12},
    {D::AddButton, ControlKind::Button, "ADD", 52, 68, 56, 14},
    {D::CancelButton, ControlKind::Button, "Cancel", 124, 68, 56, 14},
};

constexpr ui::DialogTemplate Layout = {AddCityDialog::TemplateId, "Add City to GPS List", 192, 90,
                                       Controls};

// Takes a name only while its UTF-8 form fits the city file's field, so typing stops at
// the last character that is stored whole, whatever its script.
class StoredNameValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& /*pos*/) const override {
        return fitsCityFile(input) ? Acceptable : Invalid;
    }
    static bool fitsCityFile(const QString& name) {
        return static_cast<std::size_t>(name.toUtf8().size()) <= geo::MaxCityNameBytes;
    }
};

}  // namespace

AddCityDialog::AddCityDialog(QWidget* owner) : ui::DialogWindow(Layout) {
    setParent(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);
    bindText(LongitudeEdit, &longitudeText);
    bindComboIndex(EastWestList, &eastWestIndex);
    bindText(LatitudeEdit, &latitudeText);
    bindComboIndex(NorthSouthList, &northSouthIndex);
    bindText(NameEdit, &cityName);
}

bool AddCityDialog::run() {
    createWindow(nullptr);  // shows the fields
    edit(NameEdit)->setValidator(new StoredNameValidator(edit(NameEdit)));
    button(AddButton)->setDefault(true);
    onClicked(AddButton, &AddCityDialog::onAdd);
    onClicked(CancelButton, &AddCityDialog::onCancel);
    edit(NameEdit)->setFocus();
    return ui::prompter().runDialog(*this) == QDialog::Accepted;
}

void AddCityDialog::onAdd() {
    readControls();
    if (!StoredNameValidator::fitsCityFile(cityName)) {
        // Only a name set past the box's check (pasted by a program) gets here.
        ui::prompter().message(
            QStringLiteral("The city name is too long for the city file: it holds at most %1 "
                           "bytes, that is %1 Latin letters or fewer in other scripts.")
                .arg(geo::MaxCityNameBytes),
            ui::Buttons::Ok, ui::Icon::Warning);
        return;
    }
    accept();
}

void AddCityDialog::onCancel() {
    reject();
}

}  // namespace kelvandor
