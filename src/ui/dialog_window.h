// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog layer: a window built from a DialogTemplate whose controls are registered
// by numeric id, with model bindings (readControls / writeControls), images by bitmap
// id, timers by id and a white background. The main window, every page and every small
// dialog derive from it.
#pragma once

#include <QAbstractButton>
#include <QDialog>
#include <QString>
#include <map>
#include <vector>

#include "ui/clickable_label.h"
#include "ui/control_template.h"
#include "ui/dialog_units.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTimer;

namespace kelvandor::ui {

// Shown when an integer-bound edit box holds no integer.
inline const char* const IntegerEntryMessage = "정수를 입력하십시오.";

class DialogWindow : public QDialog {
    Q_OBJECT
  public:
    explicit DialogWindow(const DialogTemplate& layout);
    ~DialogWindow() override;

    int templateId() const { return layout_.id; }
    const DialogTemplate& layout() const { return layout_; }
    const DialogUnits& units() const { return units_; }
    bool isWindowCreated() const { return created_; }

    // The control registered under `id`, or nullptr.
    QWidget* control(int id) const;
    QPushButton* button(int id) const;
    QAbstractButton* checkable(int id) const;
    QLabel* label(int id) const;
    ClickableLabel* picture(int id) const;
    QLineEdit* edit(int id) const;
    QComboBox* comboBox(int id) const;
    QListWidget* listBox(int id) const;
    QProgressBar* progressBar(int id) const;

    // Convenience over the registry; an unknown id does nothing (or returns empty / 0).
    void setBitmap(int id, int bitmapId);
    int bitmapOf(int id) const;
    void showControl(int id, bool shown);
    void enableControl(int id, bool enabled);
    bool isControlShown(int id) const;
    void setControlText(int id, const QString& text);
    QString controlText(int id) const;

    // Copies every bound control into its model field, in binding order. An
    // integer-bound edit box that holds no whole integer stops the copy there with
    // IntegerEntryMessage; the fields bound after it keep their values (an integer beyond
    // 32 bits saturates). A radio group with no button checked keeps its field. Returns
    // false when the copy stopped.
    bool readControls();
    // Copies every model field into its bound control. Controls whose content already
    // equals the field are not touched (no repaint, the edit cursor stays put).
    void writeControls();

    // Timers by id on this window: onTimer(id) runs at every expiry until stopped.
    void startDialogTimer(int timerId, int periodMs);
    void stopDialogTimer(int timerId);
    bool isDialogTimerActive(int timerId) const;

  protected:
    // Builds the controls of the template, then runs onInitDialog. A window with a parent
    // becomes a borderless child placed by its host.
    void createWindow(QWidget* parent);
    // The window's own initialisation; the base writes the model into the controls.
    virtual void onInitDialog();
    virtual void onTimer(int timerId);

    void bindText(int id, QString* field);
    void bindInt(int id, int* field);
    void bindCheck(int id, int* field);
    void bindRadioGroup(int firstId, int* field);
    void bindComboIndex(int id, int* field);
    void bindBitmap(int id, int* bitmapId);

    // connect() of a button's clicked signal (or a clickable label's, which then takes
    // the keyboard focus and acts on Space and Enter) to a handler.
    template <class Window>
    void onClicked(int id, void (Window::*handler)());

    void paintEvent(QPaintEvent* event) override;

  private:
    enum class BindingKind { Text, Int, Check, Radio, ComboIndex, Bitmap };
    struct Binding {
        BindingKind kind;
        int id;
        void* field;
    };

    void buildControl(const ControlTemplate& row, QButtonGroup*& radioGroup);
    bool readBinding(const Binding& b);
    void writeBinding(const Binding& b);
    QObject* clickSource(int id) const;

    const DialogTemplate& layout_;
    DialogUnits units_;
    bool created_ = false;
    std::map<int, QWidget*> controls_;
    std::map<int, QButtonGroup*> radioGroups_;  // by the id of the group's first button
    std::vector<Binding> bindings_;
    std::map<int, QTimer*> timers_;
};

template <class Window>
void DialogWindow::onClicked(int id, void (Window::*handler)()) {
    QObject* source = clickSource(id);
    if (source == nullptr) {
        return;
    }
    if (auto* b = qobject_cast<QAbstractButton*>(source)) {
        connect(b, &QAbstractButton::clicked, static_cast<Window*>(this), handler);
    } else {
        auto* label = qobject_cast<ClickableLabel*>(source);
        label->setActivatable(true);  // what a handler listens to, the keyboard reaches
        connect(label, &ClickableLabel::clicked, static_cast<Window*>(this), handler);
    }
}

}  // namespace kelvandor::ui
