#pragma once

#include "app/ShareLink.h"
#include "discovery/PortRow.h"
#include "router/Visitors.h"

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

class AppState;

// What the header says about the whole state, decided in this order of precedence.
struct HeaderFacts {
    bool configured = false;
    bool hasActiveLinks = false;
    bool tunnelReady = false;
    bool hasLinks = false;
    bool isProvisioning = false;
};
QString statusText(const HeaderFacts& facts);
// The green ripple shows only while a link is shared and the tunnel answers.
bool showsLiveIndicator(const HeaderFacts& facts);

enum class LinkState { waiting, notRunning, live, connecting };
LinkState linkState(bool waiting, bool appRunning, bool live);

// Share switches act only with an install and while no link operation runs.
bool shareSwitchEnabled(bool configured, bool isBusy);
bool renewEnabled(bool isBusy, bool canRefresh);

// Decides whether the content scrolls; the content itself keeps its natural size.
int estimatedHeight(qsizetype links, qsizetype rows);
constexpr int scrollHeight = 480;
bool contentScrolls(int estimatedHeight);

// Everything one link row shows, computed afresh at each rebuild.
struct LinkRowModel {
    ShareLink link;
    LinkState state = LinkState::connecting;
    QString stateText;
    // A single space when the state gives no visitors text, so the line keeps its height.
    QString visitorsText;
    std::optional<QImage> icon;
    bool copied = false;
    bool renewEnabled = false;

    friend bool operator==(const LinkRowModel&, const LinkRowModel&) = default;
};

struct AppRowModel {
    PortRow row;
    QString title;
    QString subtitle;
    bool shared = false;
    bool switchEnabled = false;
    // The row's links, in link order: what turning the switch off stops.
    QList<ShareLink> links;

    friend bool operator==(const AppRowModel&, const AppRowModel&) = default;
};

// Everything the panel shows, derived from the application state at one instant.
struct PanelModel {
    QString statusText;
    bool liveIndicator = false;
    bool configured = false;
    // A scan runs and no app is known yet.
    bool lookingForApps = false;
    bool isBusy = false;
    QList<LinkRowModel> links;
    QList<AppRowModel> apps;
    std::optional<QString> statusMessage;

    friend bool operator==(const PanelModel&, const PanelModel&) = default;
};

using VisitorsSource = std::function<Visitors(const QString& host)>;

LinkRowModel linkRowModel(const AppState& state, const ShareLink& link,
                          const VisitorsSource& visitors, const QDateTime& now);
PanelModel panelModel(const AppState& state, const VisitorsSource& visitors, const QDateTime& now);
