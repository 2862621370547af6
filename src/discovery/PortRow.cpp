#include "discovery/PortRow.h"

#include "discovery/TextTrim.h"

#include <QStringList>

namespace {

constexpr QChar middleDot{0x00B7};

} // namespace

QString PortRow::project() const {
    const QStringList pieces = label.split(middleDot, Qt::SkipEmptyParts);
    if (pieces.isEmpty())
        return label;
    return trimBlanks(pieces.front(), u" \t");
}
