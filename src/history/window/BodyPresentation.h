#pragma once

#include "history/HttpHead.h"

#include <QByteArray>
#include <QImage>
#include <QString>

// How the detail pane shows a body: decoded, then pretty-printed when it is JSON, form data or
// XML, as a picture when it is an image, as a hex dump when it is not text.
struct BodyPresentation {
    enum class Kind { empty, text, image, hex };
    Kind kind = Kind::empty;
    QString text;
    QImage image;
    // What was done to it: "JSON", "form data", "gzip decoded", ...
    QString note;

    static BodyPresentation of(const HttpHead& head, const QByteArray& body);
    // Offset, 16 bytes in hex, the same as Latin-1 text; at most `maxHexBytes` of them.
    static QString hexDump(const QByteArray& bytes);
    static constexpr qsizetype maxHexBytes = qsizetype(64) * 1024;
};
