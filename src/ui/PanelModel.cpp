#include "ui/PanelModel.h"

#include "app/AppState.h"
#include "ui/RowText.h"

namespace {

constexpr int linkRowEstimate = 76;
constexpr int appRowEstimate = 50;
constexpr int fixedEstimate = 80;
const QString noVisitorsText = QStringLiteral(" ");

const PortRow* firstRow(const QList<PortRow>& rows, qint64 port) {
    for (const PortRow& row : rows) {
        if (row.port == port)
            return &row;
    }
    return nullptr;
}

} // namespace

QString statusText(const HeaderFacts& facts) {
    if (facts.configured) {
        if (facts.hasActiveLinks)
            return facts.tunnelReady ? QStringLiteral("Sharing")
                                     : QStringLiteral("Connecting\u2026");
        return facts.hasLinks ? QStringLiteral("Paused") : QString();
    }
    return facts.isProvisioning ? QStringLiteral("Starting\u2026") : QStringLiteral("Offline");
}

bool showsLiveIndicator(const HeaderFacts& facts) {
    return facts.hasActiveLinks && facts.tunnelReady;
}

LinkState linkState(bool waiting, bool appRunning, bool live) {
    if (waiting)
        return LinkState::waiting;
    if (!appRunning)
        return LinkState::notRunning;
    return live ? LinkState::live : LinkState::connecting;
}

bool shareSwitchEnabled(bool configured, bool isBusy) {
    return configured && !isBusy;
}

bool renewEnabled(bool isBusy, bool canRefresh) {
    return !isBusy && canRefresh;
}

int estimatedHeight(qsizetype links, qsizetype rows) {
    return static_cast<int>(linkRowEstimate * links + appRowEstimate * rows + fixedEstimate);
}

bool contentScrolls(int estimatedHeight) {
    return estimatedHeight > scrollHeight;
}

LinkRowModel linkRowModel(const AppState& state, const ShareLink& link,
                          const VisitorsSource& visitors, const QDateTime& now) {
    LinkRowModel model;
    model.link = link;
    const bool live = state.liveHosts().contains(link.host);
    model.state = linkState(state.isWaiting(link), state.isAppRunning(link), live);
    model.visitorsText = noVisitorsText;
    switch (model.state) {
    case LinkState::waiting:
        model.stateText = QStringLiteral("Paused \u2014 another app on :%1").arg(link.port);
        if (live)
            model.visitorsText = visitorsLabel(visitors(link.host), now);
        break;
    case LinkState::notRunning:
        model.stateText = link.project + QStringLiteral(" not running");
        break;
    case LinkState::live:
        model.stateText = remaining(link.expiresAt, now) + QStringLiteral(" left");
        model.visitorsText = visitorsLabel(visitors(link.host), now);
        break;
    case LinkState::connecting:
        model.stateText = QStringLiteral("Connecting\u2026");
        break;
    }
    if (const PortRow* row = firstRow(state.rows(), link.port))
        model.icon = row->icon;
    model.copied = state.copiedHost() == link.host;
    model.renewEnabled = renewEnabled(state.isBusy(), state.canRefresh(link));
    return model;
}

PanelModel panelModel(const AppState& state, const VisitorsSource& visitors, const QDateTime& now) {
    const HeaderFacts facts{state.configured(), state.hasActiveLinks(), state.tunnelReady(),
                            !state.links().isEmpty(), state.isProvisioning()};
    PanelModel model;
    model.statusText = statusText(facts);
    model.liveIndicator = showsLiveIndicator(facts);
    model.configured = state.configured();
    model.lookingForApps = state.isScanning() && state.rows().isEmpty();
    model.isBusy = state.isBusy();
    for (const ShareLink& link : state.links())
        model.links.append(linkRowModel(state, link, visitors, now));
    for (const PortRow& row : state.rows()) {
        AppRowModel app;
        app.row = row;
        app.title = split(row.label).first;
        app.subtitle = appSubtitle(row.label, row.port);
        app.links = state.links(row.port);
        app.shared = !app.links.isEmpty();
        app.switchEnabled = shareSwitchEnabled(state.configured(), state.isBusy());
        model.apps.append(app);
    }
    model.statusMessage = state.statusMessage();
    return model;
}
