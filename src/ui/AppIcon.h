#pragma once

#include <QImage>
#include <QWidget>
#include <optional>

// A 32 by 32 rounded tile with the app's icon, or a symbol when it has none: a globe for a shared
// app, a terminal otherwise.
class AppIcon : public QWidget {
public:
    static constexpr int side = 32;

    AppIcon(std::optional<QImage> icon, bool active, QWidget* parent = nullptr);

    void set(std::optional<QImage> icon, bool active);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<QImage> icon_;
    bool active_;
};

// The rounded square under an app icon or a spinner.
void paintIconTile(QPainter& painter, const QRectF& rect, const QColor& fill);
