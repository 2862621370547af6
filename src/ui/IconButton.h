#pragma once

#include <QAbstractButton>
#include <QColor>
#include <optional>

// A borderless 24 by 24 button whose face is a symbol; the whole box takes clicks.
class IconButton : public QAbstractButton {
public:
    static constexpr int side = 24;

    // `tint` overrides the secondary colour (the copy button turns green once copied).
    IconButton(const QString& symbol, const QString& help, std::optional<QColor> tint = {},
               QWidget* parent = nullptr);

    const QString& symbol() const { return symbol_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    std::optional<QColor> tint_;
};
