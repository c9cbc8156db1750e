// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialog_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "ui/bitmaps.h"
#include "ui/prompter.h"
#include "ui/text_numbers.h"

namespace kelvandor::ui {

namespace {

// A caption that does not fit on one line is broken at the blank nearest its middle.
QString wrapCaption(const QString& caption, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(caption) <= width || !caption.contains(QLatin1Char(' '))) {
        return caption;
    }
    const int middle = static_cast<int>(caption.size()) / 2;
    int best = -1;
    for (int k = 0; k < caption.size(); ++k) {
        if (caption[k] == QLatin1Char(' ') &&
            (best < 0 || std::abs(k - middle) < std::abs(best - middle))) {
            best = k;
        }
    }
    return caption.left(best) + QLatin1Char('\n') + caption.mid(best + 1);
}

// Captions use "&&" for a literal "&" and "&x" for a mnemonic, as Qt does.
QString captionText(const char* caption) {
    return caption == nullptr ? QString() : QString::fromUtf8(caption);
}

Qt::Alignment alignmentOf(std::uint16_t flags) {
    if ((flags & AlignRight) != 0) {
        return Qt::AlignRight | Qt::AlignVCenter;
    }
    if ((flags & AlignCenter) != 0) {
        return Qt::AlignCenter;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

}  // namespace

DialogWindow::DialogWindow(const DialogTemplate& layout) : layout_(layout), units_(dialogFont()) {
    setFont(dialogFont());
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
}

DialogWindow::~DialogWindow() = default;

void DialogWindow::createWindow(QWidget* parent) {
    if (parent != nullptr) {
        setParent(parent, Qt::Widget);
    }
    setFixedSize(units_.toPixelsX(layout_.width), units_.toPixelsY(layout_.height));
    if (layout_.caption != nullptr) {
        setWindowTitle(QString::fromUtf8(layout_.caption));
    }
    QButtonGroup* radioGroup = nullptr;
    for (const ControlTemplate& row : layout_.controls) {
        buildControl(row, radioGroup);
    }
    created_ = true;
    onInitDialog();
}

void DialogWindow::onInitDialog() {
    writeControls();
}

void DialogWindow::onTimer(int /*timerId*/) {}

void DialogWindow::buildControl(const ControlTemplate& row, QButtonGroup*& radioGroup) {
    const QRect rect = units_.toPixels(row.x, row.y, row.w, row.h);
    const QString caption = captionText(row.caption);
    QWidget* widget = nullptr;
    switch (row.kind) {
        case ControlKind::Label:
        case ControlKind::ClickLabel:
        case ControlKind::Picture: {
            // A picture's caption is no text on screen: it names the picture for
            // assistive technology ("Tracking" for its LED).
            auto* l =
                new ClickableLabel(row.kind == ControlKind::Picture ? QString() : caption, this);
            if (row.kind == ControlKind::Picture && !caption.isEmpty()) {
                l->setAccessibleName(caption);
            }
            // Labels show names and texts from the line and from files: never markup.
            l->setTextFormat(Qt::PlainText);
            l->setAlignment(alignmentOf(row.flags));
            if (row.kind == ControlKind::Picture) {
                l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                l->setBitmap(row.bitmap);
            }
            if (row.kind != ControlKind::Label) {
                l->setCursor(Qt::PointingHandCursor);
            }
            widget = l;
            break;
        }
        case ControlKind::GroupBox:
            widget = new QGroupBox(caption, this);
            break;
        case ControlKind::Frame: {
            auto* f = new QFrame(this);
            f->setFrameShape(QFrame::Box);
            f->setFrameShadow(QFrame::Plain);
            widget = f;
            break;
        }
        case ControlKind::Button:
        case ControlKind::MultiLineButton:
        case ControlKind::PushLikeCheck: {
            auto* b = new QPushButton(this);
            b->setAutoDefault(false);
            b->setCheckable(row.kind == ControlKind::PushLikeCheck);
            const int padding = units_.toPixelsX(4);
            b->setText(row.kind == ControlKind::MultiLineButton
                           ? wrapCaption(caption, QFontMetrics(font()), rect.width() - padding)
                           : caption);
            widget = b;
            break;
        }
        case ControlKind::CheckBox:
            widget = new QCheckBox(caption, this);
            break;
        case ControlKind::Radio: {
            auto* r = new QRadioButton(caption, this);
            if (radioGroup == nullptr || (row.flags & GroupStart) != 0) {
                radioGroup = new QButtonGroup(this);
                radioGroups_[row.id] = radioGroup;
            }
            radioGroup->addButton(r, static_cast<int>(radioGroup->buttons().size()));
            widget = r;
            break;
        }
        case ControlKind::Edit: {
            auto* e = new QLineEdit(this);
            e->setAlignment(alignmentOf(row.flags));
            e->setReadOnly((row.flags & ReadOnly) != 0);
            widget = e;
            break;
        }
        case ControlKind::DropDownList: {
            auto* c = new QComboBox(this);
            if (row.caption != nullptr && *row.caption != '\0') {
                // Entries are given as one text with "\n" between them.
                c->addItems(caption.split(QLatin1Char('\n')));
            }
            widget = c;
            break;
        }
        case ControlKind::ListBox: {
            auto* list = new QListWidget(this);
            list->setSortingEnabled((row.flags & Sorted) != 0);
            widget = list;
            break;
        }
        case ControlKind::ProgressBar: {
            auto* p = new QProgressBar(this);
            p->setTextVisible(false);
            p->setRange(0, 100);
            p->setValue(0);
            widget = p;
            break;
        }
    }
    if (row.kind != ControlKind::Radio) {
        radioGroup = nullptr;  // any other control ends a run of radio buttons
    }
    QRect placed = rect;
    if (row.kind == ControlKind::DropDownList) {
        // One line high, and wide enough for its entries beside the arrow.
        placed.setHeight(widget->sizeHint().height());
        placed.setWidth(std::max(placed.width(), widget->sizeHint().width()));
    } else if (row.kind == ControlKind::Picture && row.bitmap != 0) {
        placed.setSize(bitmapById(row.bitmap).size());  // a picture takes its image's size
    }
    widget->setGeometry(placed);
    widget->setEnabled((row.flags & Disabled) == 0);
    widget->setVisible((row.flags & Hidden) == 0);
    if (row.kind == ControlKind::GroupBox || row.kind == ControlKind::Frame) {
        widget->lower();
        widget->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    if (row.id != NoId) {
        widget->setObjectName(QString::number(row.id));
        controls_[row.id] = widget;
    }
}

QWidget* DialogWindow::control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

QPushButton* DialogWindow::button(int id) const {
    return qobject_cast<QPushButton*>(control(id));
}
QAbstractButton* DialogWindow::checkable(int id) const {
    return qobject_cast<QAbstractButton*>(control(id));
}
QLabel* DialogWindow::label(int id) const {
    return qobject_cast<QLabel*>(control(id));
}
ClickableLabel* DialogWindow::picture(int id) const {
    return qobject_cast<ClickableLabel*>(control(id));
}
QLineEdit* DialogWindow::edit(int id) const {
    return qobject_cast<QLineEdit*>(control(id));
}
QComboBox* DialogWindow::comboBox(int id) const {
    return qobject_cast<QComboBox*>(control(id));
}
QListWidget* DialogWindow::listBox(int id) const {
    return qobject_cast<QListWidget*>(control(id));
}
QProgressBar* DialogWindow::progressBar(int id) const {
    return qobject_cast<QProgressBar*>(control(id));
}

QObject* DialogWindow::clickSource(int id) const {
    QWidget* w = control(id);
    if (qobject_cast<QAbstractButton*>(w) != nullptr ||
        qobject_cast<ClickableLabel*>(w) != nullptr) {
        return w;
    }
    return nullptr;
}

void DialogWindow::setBitmap(int id, int bitmapId) {
    if (ClickableLabel* p = picture(id)) {
        p->setBitmap(bitmapId);
    }
}

int DialogWindow::bitmapOf(int id) const {
    const ClickableLabel* p = picture(id);
    return p == nullptr ? 0 : p->bitmap();
}

void DialogWindow::showControl(int id, bool shown) {
    if (QWidget* w = control(id)) {
        w->setVisible(shown);
    }
}

void DialogWindow::enableControl(int id, bool enabled) {
    if (QWidget* w = control(id)) {
        w->setEnabled(enabled);
    }
}

bool DialogWindow::isControlShown(int id) const {
    const QWidget* w = control(id);
    return w != nullptr && !w->isHidden();
}

void DialogWindow::setControlText(int id, const QString& text) {
    QWidget* w = control(id);
    if (auto* l = qobject_cast<QLabel*>(w)) {
        if (l->text() != text) {
            l->setText(text);
        }
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        if (e->text() != text) {
            e->setText(text);
        }
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        if (b->text() != text) {
            b->setText(text);
        }
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
        g->setTitle(text);
    }
}

QString DialogWindow::controlText(int id) const {
    QWidget* w = control(id);
    if (auto* l = qobject_cast<QLabel*>(w)) {
        return l->text();
    }
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        return e->text();
    }
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        return b->text();
    }
    if (auto* c = qobject_cast<QComboBox*>(w)) {
        return c->currentText();
    }
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        return g->title();
    }
    return {};
}

void DialogWindow::bindText(int id, QString* field) {
    bindings_.push_back({BindingKind::Text, id, field});
}
void DialogWindow::bindInt(int id, int* field) {
    bindings_.push_back({BindingKind::Int, id, field});
}
void DialogWindow::bindCheck(int id, int* field) {
    bindings_.push_back({BindingKind::Check, id, field});
}
void DialogWindow::bindRadioGroup(int firstId, int* field) {
    bindings_.push_back({BindingKind::Radio, firstId, field});
}
void DialogWindow::bindComboIndex(int id, int* field) {
    bindings_.push_back({BindingKind::ComboIndex, id, field});
}
void DialogWindow::bindBitmap(int id, int* bitmapId) {
    bindings_.push_back({BindingKind::Bitmap, id, bitmapId});
}

bool DialogWindow::readControls() {
    if (!created_) {
        return true;
    }
    for (const Binding& b : bindings_) {
        if (!readBinding(b)) {
            return false;
        }
    }
    return true;
}

void DialogWindow::writeControls() {
    if (!created_) {
        return;
    }
    for (const Binding& b : bindings_) {
        writeBinding(b);
    }
}

bool DialogWindow::readBinding(const Binding& b) {
    switch (b.kind) {
        case BindingKind::Text:
            *static_cast<QString*>(b.field) = controlText(b.id);
            return true;
        case BindingKind::Int: {
            const std::optional<std::int32_t> value = wholeInteger(controlText(b.id));
            if (!value) {
                prompter().message(QString::fromUtf8(IntegerEntryMessage), Buttons::Ok,
                                   Icon::Exclamation);
                if (QWidget* w = control(b.id)) {
                    w->setFocus();
                }
                return false;
            }
            *static_cast<int*>(b.field) = *value;
            return true;
        }
        case BindingKind::Check:
            if (const QAbstractButton* c = checkable(b.id)) {
                const auto* box = qobject_cast<const QCheckBox*>(c);
                if (box != nullptr && box->checkState() == Qt::PartiallyChecked) {
                    *static_cast<int*>(b.field) = 2;
                } else {
                    *static_cast<int*>(b.field) = c->isChecked() ? 1 : 0;
                }
            }
            return true;
        case BindingKind::Radio: {
            const auto it = radioGroups_.find(b.id);
            // With no button checked the field keeps its value: a stored value that has
            // no button (a mode the antenna reported) must not turn into -1.
            if (it != radioGroups_.end() && it->second->checkedId() >= 0) {
                *static_cast<int*>(b.field) = it->second->checkedId();
            }
            return true;
        }
        case BindingKind::ComboIndex:
            if (const QComboBox* c = comboBox(b.id)) {
                *static_cast<int*>(b.field) = c->currentIndex();
            }
            return true;
        case BindingKind::Bitmap:
            *static_cast<int*>(b.field) = bitmapOf(b.id);
            return true;
    }
    return true;
}

void DialogWindow::writeBinding(const Binding& b) {
    switch (b.kind) {
        case BindingKind::Text:
            setControlText(b.id, *static_cast<const QString*>(b.field));
            break;
        case BindingKind::Int:
            setControlText(b.id, QString::number(*static_cast<const int*>(b.field)));
            break;
        case BindingKind::Check: {
            int& value = *static_cast<int*>(b.field);
            if (value < 0 || value > 2) {
                value = 0;
            }
            if (QAbstractButton* c = checkable(b.id)) {
                auto* box = qobject_cast<QCheckBox*>(c);
                if (box != nullptr) {
                    box->setTristate(value == 2 || box->isTristate());
                    box->setCheckState(value == 2 ? Qt::PartiallyChecked
                                                  : (value == 1 ? Qt::Checked : Qt::Unchecked));
                } else {
                    c->setChecked(value == 1);
                }
            }
            break;
        }
        case BindingKind::Radio: {
            const auto it = radioGroups_.find(b.id);
            if (it == radioGroups_.end()) {
                break;
            }
            QButtonGroup* group = it->second;
            const int index = *static_cast<const int*>(b.field);
            QAbstractButton* target = group->button(index);
            if (target != nullptr) {
                target->setChecked(true);
            } else if (group->checkedButton() != nullptr) {
                // An index outside the group checks no button.
                group->setExclusive(false);
                group->checkedButton()->setChecked(false);
                group->setExclusive(true);
            }
            break;
        }
        case BindingKind::ComboIndex:
            if (QComboBox* c = comboBox(b.id)) {
                const int index = *static_cast<const int*>(b.field);
                if (c->currentIndex() != index) {
                    c->setCurrentIndex(index < c->count() ? index : -1);
                }
            }
            break;
        case BindingKind::Bitmap:
            setBitmap(b.id, *static_cast<const int*>(b.field));
            break;
    }
}

void DialogWindow::startDialogTimer(int timerId, int periodMs) {
    QTimer*& timer = timers_[timerId];
    if (timer == nullptr) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, timerId] { onTimer(timerId); });
    }
    timer->start(periodMs);
}

void DialogWindow::stopDialogTimer(int timerId) {
    const auto it = timers_.find(timerId);
    if (it != timers_.end()) {
        it->second->stop();
    }
}

bool DialogWindow::isDialogTimerActive(int timerId) const {
    const auto it = timers_.find(timerId);
    return it != timers_.end() && it->second->isActive();
}

void DialogWindow::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    QDialog::paintEvent(event);
}

}  // namespace kelvandor::ui
