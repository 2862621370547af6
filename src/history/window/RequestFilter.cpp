#include "history/window/RequestFilter.h"

#include <QStringList>

using namespace Qt::Literals::StringLiterals;

namespace {

// LIKE's own characters in user text match only themselves.
QString likePattern(const QString& text) {
    QString escaped = text;
    escaped.replace(u"\\"_s, u"\\\\"_s).replace(u"%"_s, u"\\%"_s).replace(u"_"_s, u"\\_"_s);
    return u"%"_s + escaped + u"%"_s;
}

} // namespace

QString RequestFilter::condition(QVariantList& binds) const {
    QStringList parts;
    if (!text.isEmpty()) {
        parts << u"(target LIKE ? ESCAPE '\\' OR CAST(request_head AS TEXT) LIKE ? ESCAPE '\\'"
                 u" OR CAST(response_head AS TEXT) LIKE ? ESCAPE '\\'"
                 u" OR CAST(request_body AS TEXT) LIKE ? ESCAPE '\\'"
                 u" OR CAST(response_body AS TEXT) LIKE ? ESCAPE '\\')"_s;
        for (int i = 0; i < 5; ++i)
            binds << likePattern(text);
    }
    if (!method.isEmpty()) {
        parts << u"method = ?"_s;
        binds << method;
    }
    if (statusClass > 0) {
        parts << u"status >= ? AND status < ?"_s;
        binds << statusClass * 100 << (statusClass + 1) * 100;
    }
    if (!link.isEmpty()) {
        parts << u"link LIKE ? ESCAPE '\\'"_s;
        binds << likePattern(link);
    }
    if (!visitor.isEmpty()) {
        parts << u"visitor LIKE ? ESCAPE '\\'"_s;
        binds << likePattern(visitor);
    }
    return parts.isEmpty() ? u"1"_s : parts.join(u" AND "_s);
}
