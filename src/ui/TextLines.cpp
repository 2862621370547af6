#include "ui/TextLines.h"

#include <QFontMetrics>
#include <QStringList>
#include <QTextLayout>

QString clampToLines(const QString& text, const QFont& font, int width, int maxLines) {
    QString flowing = text;
    flowing.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(flowing, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines.append(flowing.mid(line.textStart(), line.textLength()));
    }
    layout.endLayout();
    for (QString& line : lines) {
        line.remove(QChar::LineSeparator);
        line = line.trimmed();
    }
    if (lines.size() <= maxLines)
        return lines.join(QLatin1Char('\n'));
    const QFontMetrics metrics(font);
    const QString kept = lines.at(maxLines - 1);
    QString last =
        metrics.elidedText(kept + QLatin1Char(' ') + lines.at(maxLines), Qt::ElideRight, width);
    // The cut came at a line break, not at the width: still mark that text was left out.
    if (!last.endsWith(QChar(0x2026)))
        last = metrics.elidedText(kept + QChar(0x2026), Qt::ElideRight, width);
    lines = lines.mid(0, maxLines - 1);
    lines.append(last);
    return lines.join(QLatin1Char('\n'));
}
