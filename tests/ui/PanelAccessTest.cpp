#include "PanelFixtures.h"
#include "support/Printers.h"
#include "ui/LoadingSpinner.h"
#include "ui/RippleIndicator.h"
#include "ui/ShareSwitch.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <cmath>
#include <gtest/gtest.h>

namespace {

QAccessibleInterface* accessible(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget);
}

TEST(PanelAccess, TheShareSwitchIsACheckableControlNamedAfterItsApp) {
    Panel panel(sharingModel());
    struct Case {
        const char* control;
        const char* name;
        bool checked;
    };
    const Case cases[] = {
        {"shareSwitch:3000", "Share shop", true},
        {"shareSwitch:4000", "Share blog", false},
        {"copyButton:shop-1.example.test", "Copy URL of shop-1.example.test", false},
        {"renewButton:shop-1.example.test", "New URL for shop-1.example.test", false},
    };
    for (const Case& c : cases) {
        QAccessibleInterface* face = accessible(panel.find(QString::fromUtf8(c.control)));
        ASSERT_NE(face, nullptr) << c.control;
        EXPECT_EQ(face->text(QAccessible::Name), QString::fromUtf8(c.name)) << c.control;
        EXPECT_EQ(face->state().checked, c.checked) << c.control;
    }
    QAccessibleInterface* toggle = accessible(panel.find(QStringLiteral("shareSwitch:4000")));
    EXPECT_TRUE(toggle->state().checkable);
    EXPECT_EQ(toggle->role(), QAccessible::CheckBox);

    // Shared now: the same control, checked, under the same name.
    panel.model.apps[1].links = {shareLink("blog-1.example.test", 4000, "blog")};
    panel.model.apps[1].shared = true;
    panel.view->rebuildNow();
    EXPECT_TRUE(toggle->state().checked);
    EXPECT_EQ(toggle->text(QAccessible::Name), QStringLiteral("Share blog"));
    // A click asks for the change and leaves the position to the state.
    panel.click(QStringLiteral("shareSwitch:4000"));
    EXPECT_TRUE(panel.find<ShareSwitch>(QStringLiteral("shareSwitch:4000"))->isOn());
}

TEST(PanelAccess, TextsReadAsTextAndIndicatorsAreHidden) {
    PanelModel model = sharingModel();
    Panel panel(model);
    QAccessibleInterface* visitors =
        accessible(panel.find<QWidget>(QStringLiteral("visitors:shop-1.example.test")));
    EXPECT_EQ(visitors->role(), QAccessible::StaticText);
    EXPECT_EQ(visitors->text(QAccessible::Name), QStringLiteral("No visitors yet"));

    PanelModel looking;
    looking.lookingForApps = true;
    Panel scanning(looking);
    const QList<QWidget*> indicators = {
        panel.view->findChild<RippleIndicator*>(),
        panel.find<QWidget>(QStringLiteral("linkRow:shop-2.example.test"))
            ->findChild<LoadingSpinner*>(),
        scanning.find<QWidget>(QStringLiteral("lookingForApps"))->findChild<LoadingSpinner*>(),
    };
    for (QWidget* indicator : indicators) {
        ASSERT_NE(indicator, nullptr);
        ASSERT_TRUE(indicator->isVisible());
        EXPECT_TRUE(accessible(indicator)->state().invisible);
    }
}

TEST(PanelAccess, KeysMoveTheFocusAndActivate) {
    Panel panel(sharingModel());
    QWidget* focus = panel.view->focusWidget();
    ASSERT_NE(focus, nullptr) << "nothing has the focus when the panel opens";
    EXPECT_EQ(focus, panel.find(QStringLiteral("hostLink:shop-1.example.test")));
    const auto press = [&](Qt::Key key) {
        QTest::keyClick(panel.view->focusWidget(), key);
        return panel.view->focusWidget()->objectName().toStdString();
    };
    EXPECT_EQ(press(Qt::Key_Tab), "copyButton:shop-1.example.test");
    EXPECT_EQ(press(Qt::Key_Down), "renewButton:shop-1.example.test");
    EXPECT_EQ(press(Qt::Key_Up), "copyButton:shop-1.example.test");
    EXPECT_EQ(press(Qt::Key_Backtab), "hostLink:shop-1.example.test");

    struct Case {
        const char* control;
        Qt::Key key;
        const char* call;
    };
    const Case cases[] = {
        {"copyButton:shop-1.example.test", Qt::Key_Return, "copy shop-1.example.test"},
        {"shareSwitch:4000", Qt::Key_Enter, "share 4000"},
        {"shareSwitch:4000", Qt::Key_Space, "share 4000"},
        {"quitButton", Qt::Key_Return, "quit"},
    };
    for (const Case& c : cases) {
        panel.find(QString::fromUtf8(c.control))->setFocus(Qt::TabFocusReason);
        panel.calls.log.clear();
        press(c.key);
        EXPECT_EQ(panel.calls.log, QStringList{QString::fromUtf8(c.call)}) << c.control;
    }
}

// A screen reader's own action on a control does what a click does: the switch's toggle asks
// for the share and leaves the position to the state, the buttons' press calls their operation.
TEST(PanelAccess, AssistiveActionsCallTheControlsOperation) {
    constexpr int actionWaitMs = 2000;
    Panel panel(sharingModel());
    struct Case {
        const char* control;
        const char* call;
    };
    const Case cases[] = {
        {"shareSwitch:4000", "share 4000"},
        {"copyButton:shop-1.example.test", "copy shop-1.example.test"},
        {"quitButton", "quit"},
    };
    for (const Case& c : cases) {
        QAccessibleActionInterface* actions =
            accessible(panel.find(QString::fromUtf8(c.control)))->actionInterface();
        ASSERT_NE(actions, nullptr) << c.control;
        ASSERT_FALSE(actions->actionNames().isEmpty()) << c.control;
        panel.calls.log.clear();
        actions->doAction(actions->actionNames().constFirst());
        // A press is animated: the click follows a moment later.
        const QStringList expected{QString::fromUtf8(c.call)};
        EXPECT_TRUE(QTest::qWaitFor([&] { return panel.calls.log == expected; }, actionWaitMs))
            << c.control << ": " << panel.calls.log.join(u',').toStdString();
    }
    EXPECT_FALSE(panel.find<ShareSwitch>(QStringLiteral("shareSwitch:4000"))->isOn());
}

// The rendered pixels of `widget` within the panel, with what lies behind it.
QImage rendered(const Panel& panel, const QWidget* widget) {
    const QRect area(widget->mapTo(panel.view.get(), QPoint()), widget->size());
    return panel.view->grab(area).toImage();
}

double luminance(QRgb pixel) {
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(pixel)) + 0.7152 * channel(qGreen(pixel)) +
           0.0722 * channel(qBlue(pixel));
}

double contrast(QRgb a, QRgb b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The strongest contrast of the control's ink against the card right beside it.
double inkContrast(const QImage& image) {
    const QRgb card = image.pixel(0, 0);
    double best = 1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            best = std::max(best, contrast(image.pixel(x, y), card));
    }
    return best;
}

TEST(PanelAccess, SwitchesStandOutFromTheirCard) {
    // 3:1 for the parts that show a control and its state.
    constexpr double least = 3.0;
    const QPalette light = QApplication::palette();
    for (const bool dark : {false, true}) {
        if (dark)
            QApplication::setPalette(darkPalette());
        PanelModel model = sharingModel();
        model.apps.append(appModel(appRow(6000, "off"), {}, false));
        Panel panel(model);
        // Off, and off while it cannot be used.
        for (const char* control : {"shareSwitch:4000", "shareSwitch:6000"}) {
            const double ratio =
                inkContrast(rendered(panel, panel.find(QString::fromUtf8(control))));
            EXPECT_GE(ratio, least) << control << (dark ? " dark" : " light");
        }
        const QWidget* disabled = panel.find(QStringLiteral("shareSwitch:6000"));
        EXPECT_EQ(disabled->toolTip(), QStringLiteral("Available once connected"));
    }
    QApplication::setPalette(light);
}

} // namespace
