#pragma once

#include "ui/PanelStyle.h"

#include <QLabel>

// A text of the panel, drawn in its ink from the current palette. It is cut with an ellipsis to
// the width it is given and shows the whole text as its tooltip when cut; where the cut falls is
// the caller's choice: a text whose end matters more than its middle is cut in the middle, and
// Qt::ElideNone keeps the text (and its line breaks) whole. Screen readers read it as text.
class ElidedLabel : public QLabel {
public:
    ElidedLabel(const QString& text, const QFont& font, PanelStyle::Ink ink,
                QWidget* parent = nullptr, Qt::TextElideMode cut = Qt::ElideRight);

    void setFullText(const QString& text);
    // The text as drawn at the current width.
    QString shownText() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool cuts() const;
    void updateToolTip();

    PanelStyle::Ink ink_;
    Qt::TextElideMode cut_;
};
