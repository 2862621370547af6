#include "history/window/BodyPresentation.h"

#include "history/BodyDecoding.h"

#include <QJsonDocument>
#include <QStringList>
#include <QUrlQuery>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int hexRow = 16;

std::optional<QString> prettyXml(const QByteArray& bytes) {
    QXmlStreamReader reader(bytes);
    QString out;
    QXmlStreamWriter writer(&out);
    writer.setAutoFormatting(true);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isWhitespace())
            continue;
        writer.writeCurrentToken(reader);
    }
    if (reader.hasError())
        return std::nullopt;
    return out;
}

QString prettyForm(const QByteArray& bytes) {
    QStringList lines;
    const QUrlQuery query(QString::fromUtf8(bytes).replace(u'+', u' '));
    for (const auto& [name, value] : query.queryItems(QUrl::FullyDecoded))
        lines << name + u" = "_s + value;
    return lines.join(u'\n');
}

bool looksLikeText(const QByteArray& bytes) {
    return QByteArrayView(bytes).isValidUtf8() && !bytes.contains('\0');
}

} // namespace

QString BodyPresentation::hexDump(const QByteArray& bytes) {
    QString out;
    const qsizetype shown = std::min(bytes.size(), maxHexBytes);
    for (qsizetype at = 0; at < shown; at += hexRow) {
        const QByteArray row = bytes.mid(at, std::min<qsizetype>(hexRow, shown - at));
        QString hex = QString::fromLatin1(row.toHex(' '));
        QString text;
        for (const char c : row)
            text += c >= 0x20 && c < 0x7f ? QChar::fromLatin1(c) : u'.';
        out += QStringLiteral("%1  %2  %3\n")
                   .arg(at, 8, 16, QLatin1Char('0'))
                   .arg(hex, -(hexRow * 3 - 1))
                   .arg(text);
    }
    if (shown < bytes.size())
        out += QStringLiteral("… %1 more bytes\n").arg(bytes.size() - shown);
    return out;
}

BodyPresentation BodyPresentation::of(const HttpHead& head, const QByteArray& body) {
    BodyPresentation p;
    if (body.isEmpty())
        return p;
    const QByteArray decoded = BodyDecoding::decoded(head, body);
    QStringList notes;
    if (decoded != body)
        notes << u"decoded"_s;
    const QByteArray type = head.value("content-type").value_or(QByteArray()).toLower();
    if (type.startsWith("image/")) {
        p.image.loadFromData(decoded);
        if (!p.image.isNull()) {
            p.kind = Kind::image;
            p.note = (notes << QString::fromLatin1(type)).join(u", "_s);
            return p;
        }
    }
    if (!looksLikeText(decoded)) {
        p.kind = Kind::hex;
        p.text = hexDump(decoded);
        p.note = (notes << u"binary"_s).join(u", "_s);
        return p;
    }
    p.kind = Kind::text;
    p.text = QString::fromUtf8(decoded);
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(decoded, &error);
    if (error.error == QJsonParseError::NoError && !json.isNull()) {
        p.text = QString::fromUtf8(json.toJson(QJsonDocument::Indented));
        notes << u"JSON"_s;
    } else if (type.contains("x-www-form-urlencoded")) {
        p.text = prettyForm(decoded);
        notes << u"form data"_s;
    } else if (type.contains("xml")) {
        if (const auto xml = prettyXml(decoded)) {
            p.text = *xml;
            notes << u"XML"_s;
        }
    }
    p.note = notes.join(u", "_s);
    return p;
}
