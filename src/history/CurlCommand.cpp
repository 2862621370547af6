#include "history/CurlCommand.h"

#include "history/HttpHead.h"

using namespace Qt::Literals::StringLiterals;

namespace CurlCommand {
namespace {

// Single quotes for printable text; ANSI-C quoting when a byte needs escaping.
QString quoted(const QByteArray& bytes) {
    bool plain = QByteArrayView(bytes).isValidUtf8();
    for (const char c : bytes) {
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') || c == 0x7f)
            plain = false;
    }
    if (plain) {
        QString text = QString::fromUtf8(bytes);
        text.replace(QStringLiteral("'"), QStringLiteral("'\\''"));
        return u"'"_s + text + u"'"_s;
    }
    QString out = QStringLiteral("$'");
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\'' || c == '\\')
            out += u"\\"_s + QLatin1Char(c);
        else if (u >= 0x20 && u < 0x7f)
            out += QLatin1Char(c);
        else
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    return out + u"'"_s;
}

bool isRouterLine(const QByteArray& name) {
    return name.compare("host", Qt::CaseInsensitive) == 0 ||
           name.compare("connection", Qt::CaseInsensitive) == 0 ||
           name.compare("content-length", Qt::CaseInsensitive) == 0;
}

} // namespace

QString of(const RecordedRequest& request, const QByteArray& body) {
    const HttpHead head = HttpHeads::parse(request.requestHead);
    QString command = QStringLiteral("curl");
    if (request.method != QLatin1String("GET") || !body.isEmpty())
        command += u" -X "_s + quoted(request.method.toUtf8());
    command += u" "_s + quoted((u"https://"_s + request.link + request.target).toUtf8());
    for (const auto& [name, value] : head.fields) {
        if (!isRouterLine(name))
            command += u" -H "_s + quoted(name + ": " + value);
    }
    if (!body.isEmpty())
        command += u" --data-binary "_s + quoted(body);
    return command;
}

} // namespace CurlCommand
