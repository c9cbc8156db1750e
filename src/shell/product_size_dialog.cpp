// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/product_size_dialog.h"

#include <QPushButton>

namespace kelvandor {

namespace {

using ui::ControlKind;

// The radio buttons keep the product-size index order in the table (it is their group
// index); on screen they are sorted by name, T1 to T4 on the left, T6 to T9 on the right.
constexpr ui::ControlTemplate Controls[] = {
    {1081, ControlKind::Radio, "T4", 10, 44, 26, 10, ui::GroupStart},
    {1082, ControlKind::Radio, "T6", 40, 8, 26, 10},
    {1083, ControlKind::Radio, "T3", 10, 32, 26, 10},
    {1084, ControlKind::Radio, "T1", 10, 8, 26, 10},
    {1085, ControlKind::Radio, "T9", 40, 32, 26, 10},
    {1086, ControlKind::Radio, "T2", 10, 20, 26, 10},
    {1087, ControlKind::Radio, "T6R", 40, 20, 26, 10},
    {ProductSizeDialog::OkButton, ControlKind::Button, "OK", 70, 8, 26, 14},
    {ProductSizeDialog::CancelButton, ControlKind::Button, "Cancel", 70, 26, 26, 14},
};

constexpr ui::DialogTemplate Layout = {ProductSizeDialog::TemplateId, "Select Product Size", 101,
                                       68, Controls};

}  // namespace

ProductSizeDialog::ProductSizeDialog(QWidget* owner) : ui::DialogWindow(Layout) {
    bindRadioGroup(SizeRadios[0], &selection);
    createWindow(nullptr);
    if (owner != nullptr) {
        setParent(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    }
    button(OkButton)->setDefault(true);
    onClicked(OkButton, &ProductSizeDialog::onOk);
    onClicked(CancelButton, &ProductSizeDialog::onCancel);
}

void ProductSizeDialog::onOk() {
    readControls();  // no button checked keeps -1
    accept();
}

void ProductSizeDialog::onCancel() {
    selection = -1;
    reject();
}

}  // namespace kelvandor
