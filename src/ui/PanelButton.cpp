#include "ui/PanelButton.h"

#include <QKeyEvent>

PanelButton::PanelButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
}

void PanelButton::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
            click();
            return;
        }
        break;
    case Qt::Key_Down:
    case Qt::Key_Right:
        focusNextPrevChild(true);
        return;
    case Qt::Key_Up:
    case Qt::Key_Left:
        focusNextPrevChild(false);
        return;
    default:
        break;
    }
    QAbstractButton::keyPressEvent(event);
}
