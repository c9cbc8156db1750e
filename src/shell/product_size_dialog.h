// SPDX-License-Identifier: GPL-3.0-or-later
// "Select Product Size": asked when a default set is loaded before the antenna has
// reported its product size. The checked radio button's index is the product-size index
// that selects the default set's profile.
#pragma once

#include "ui/dialog_window.h"

namespace kelvandor {

class ProductSizeDialog : public ui::DialogWindow {
    Q_OBJECT
  public:
    static constexpr int TemplateId = 133;
    static constexpr int OkButton = 1;
    static constexpr int CancelButton = 2;
    // The radio buttons in index order: T4, T6, T3, T1, T9, T2, T6R.
    static constexpr int SizeRadios[7] = {1081, 1082, 1083, 1084, 1085, 1086, 1087};

    // `owner` (the main window) keeps the dialog above it and centred on it.
    explicit ProductSizeDialog(QWidget* owner = nullptr);

    void onOk();
    void onCancel();

    // The index of the radio button checked when OK was pressed; -1 when none was, or
    // the dialog was cancelled.
    int selection = -1;
};

}  // namespace kelvandor
