// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/clickable_label.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>

#include "ui/bitmaps.h"

namespace kelvandor::ui {

namespace {

// An activatable label as assistive technology sees it: a button whose press action
// does what a click does. Name and description are the widget's own.
class AccessibleLabelButton : public QAccessibleWidget {
  public:
    explicit AccessibleLabelButton(ClickableLabel* label)
        : QAccessibleWidget(label, QAccessible::Button) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            return label()->text();
        }
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction() && label()->isEnabled()) {
            label()->activate();
        }
    }

  private:
    ClickableLabel* label() const { return static_cast<ClickableLabel*>(widget()); }
};

QAccessibleInterface* activatableLabelFactory(const QString& className, QObject* object) {
    auto* label = qobject_cast<ClickableLabel*>(object);
    if (label == nullptr || !label->isActivatable() ||
        className != QLatin1String(ClickableLabel::staticMetaObject.className())) {
        return nullptr;
    }
    return new AccessibleLabelButton(label);
}

}  // namespace

void ClickableLabel::setBitmap(int bitmapId) {
    if (bitmapId == bitmap_) {
        return;
    }
    bitmap_ = bitmapId;
    if (bitmapId == 0) {
        clear();
    } else {
        setPixmap(bitmapById(bitmapId));
    }
    // Qt announces the change to assistive technology (a DescriptionChanged event).
    setAccessibleDescription(bitmapStateText(bitmapId));
}

void ClickableLabel::setActivatable(bool on) {
    if (on) {
        static const bool installed = [] {
            QAccessible::installFactory(activatableLabelFactory);
            return true;
        }();
        (void)installed;
    }
    activatable_ = on;
    setFocusPolicy(on ? Qt::StrongFocus : Qt::NoFocus);
    // Qt keeps the first accessible interface it made for a widget (an image set while
    // the window was built makes one); drop it so the next query sees the new role.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(this)) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    }
}

void ClickableLabel::activate() {
    Q_EMIT pressed();
    Q_EMIT clicked();
}

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        Q_EMIT pressed();
    }
    QLabel::mousePressEvent(event);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        Q_EMIT clicked();
    }
    QLabel::mouseReleaseEvent(event);
}

void ClickableLabel::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (activatable_ && !event->isAutoRepeat() &&
        (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) {
        activate();
        return;
    }
    QLabel::keyPressEvent(event);
}

void ClickableLabel::focusInEvent(QFocusEvent* event) {
    QLabel::focusInEvent(event);
    update();
}

void ClickableLabel::focusOutEvent(QFocusEvent* event) {
    QLabel::focusOutEvent(event);
    update();
}

void ClickableLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (activatable_ && hasFocus()) {
        // A label draws no focus of its own: mark it, as buttons are marked.
        QPainter painter(this);
        QStyleOptionFocusRect option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

}  // namespace kelvandor::ui
