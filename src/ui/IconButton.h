#pragma once

#include "ui/PanelButton.h"
#include "ui/PanelStyle.h"

#include <optional>

// A borderless 24 by 24 button whose face is a symbol; the whole box takes clicks.
class IconButton : public PanelButton {
public:
    static constexpr int side = 24;

    IconButton(const QString& symbol, const QString& help, QWidget* parent = nullptr);

    const QString& symbol() const { return symbol_; }
    // `tint` overrides the secondary colour (the copy button turns green once copied).
    void setSymbol(const QString& symbol, std::optional<PanelStyle::Ink> tint = {});

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    std::optional<PanelStyle::Ink> tint_;
};
