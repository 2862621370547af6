#include "ui/Decoration.h"

#include <QAccessibleWidget>

namespace {

class HiddenElement : public QAccessibleWidget {
public:
    explicit HiddenElement(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Animation) {}

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.invisible = true;
        return state;
    }
};

QAccessibleInterface* hiddenElements(const QString& key, QObject* object) {
    if (key == QLatin1String(Decoration::staticMetaObject.className()) && object->isWidgetType())
        return new HiddenElement(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

Decoration::Decoration(int size, PanelStyle::Ink ink, QWidget* parent)
    : QWidget(parent), ink_(ink) {
    [[maybe_unused]] static const bool installed = [] {
        QAccessible::installFactory(hiddenElements);
        return true;
    }();
    setFixedSize(size, size);
    setAttribute(Qt::WA_TranslucentBackground);
}
