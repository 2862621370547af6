#include "ui/ShareSwitchAccessible.h"

#include "ui/ShareSwitch.h"

#include <QAccessibleWidget>

namespace {

class ShareSwitchAccessible : public QAccessibleWidget {
public:
    explicit ShareSwitchAccessible(ShareSwitch* control)
        : QAccessibleWidget(control, QAccessible::CheckBox) {}

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = control()->isOn();
        return state;
    }

    QStringList actionNames() const override {
        QStringList names = QAccessibleWidget::actionNames();
        if (control()->isEnabled())
            names.prepend(toggleAction());
        return names;
    }

    void doAction(const QString& name) override {
        if (name != toggleAction() && name != pressAction()) {
            QAccessibleWidget::doAction(name);
            return;
        }
        if (control()->isEnabled())
            control()->click();
    }

private:
    ShareSwitch* control() const { return static_cast<ShareSwitch*>(widget()); }
};

QAccessibleInterface* shareSwitchFactory(const QString& /*className*/, QObject* object) {
    if (auto* control = dynamic_cast<ShareSwitch*>(object))
        return new ShareSwitchAccessible(control);
    return nullptr;
}

} // namespace

void installShareSwitchAccessible() {
    static const bool installed = [] {
        QAccessible::installFactory(shareSwitchFactory);
        return true;
    }();
    static_cast<void>(installed);
}
