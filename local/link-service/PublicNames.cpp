#include "link-service/PublicNames.h"

#include <QRandomGenerator>

namespace PublicNames {

QString randomLabel() {
    constexpr quint32 alphabetSize = sizeof alphabet - 1;
    QString label;
    label.reserve(labelLength);
    for (int i = 0; i < labelLength; ++i)
        label.append(QLatin1Char(alphabet[QRandomGenerator::system()->bounded(alphabetSize)]));
    return label;
}

QString hostName(const QByteArray& hostHeader) {
    QByteArray name = hostHeader.trimmed().toLower();
    if (name.startsWith('['))
        return QString::fromLatin1(name.left(name.indexOf(']') + 1));
    if (const qsizetype colon = name.indexOf(':'); colon >= 0)
        name.truncate(colon);
    if (name.endsWith('.'))
        name.chop(1);
    return QString::fromLatin1(name);
}

} // namespace PublicNames
