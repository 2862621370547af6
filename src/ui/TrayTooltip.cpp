#include "ui/TrayTooltip.h"

#include <algorithm>

namespace {

const QString separator = QStringLiteral(" \u00b7 ");

QString count(qsizetype number, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(number).arg(QLatin1String(number == 1 ? one : many));
}

QString headline(const PanelModel& model) {
    if (!model.links.isEmpty()) {
        QString line =
            model.statusText + QLatin1Char(' ') + count(model.links.size(), "link", "links");
        // The live link that ends first, in its row's words.
        const LinkRowModel* first = nullptr;
        for (const LinkRowModel& link : model.links) {
            if (link.state == LinkState::live &&
                (!first || link.link.expiresAt < first->link.expiresAt))
                first = &link;
        }
        if (first)
            line += separator + first->link.project + QLatin1Char(' ') + first->stateText;
        return line;
    }
    if (!model.statusText.isEmpty())
        return model.statusText;
    if (model.lookingForApps)
        return QStringLiteral("Looking for apps\u2026");
    if (model.apps.isEmpty())
        return QStringLiteral("No apps found");
    return count(model.apps.size(), "local app", "local apps");
}

} // namespace

QString trayTooltip(const PanelModel& model) {
    QString text = headline(model);
    if (model.statusMessage && !model.statusMessage->isEmpty())
        text += QLatin1Char('\n') + *model.statusMessage;
    return text;
}
