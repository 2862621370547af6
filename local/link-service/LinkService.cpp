#include "link-service/LinkService.h"

#include "common/Log.h"
#include "link-service/PublicFace.h"
#include "link-service/PublicNames.h"
#include "link-service/SecretHash.h"

#include <QDateTime>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QUuid>
#include <tuple>

namespace {

// Expired links are ended, and long-ended ones released, at this resolution.
constexpr int sweepIntervalMs = 200;

QString randomHex(int bytes) {
    QByteArray raw(bytes, Qt::Uninitialized);
    for (char& c : raw)
        c = static_cast<char>(QRandomGenerator::system()->bounded(256));
    return QString::fromLatin1(raw.toHex());
}

qint64 nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

LinkService::LinkService(const ServiceOptions& options, QObject* parent)
    : QObject(parent), options_(options), state_(options.statePath),
      hub_([this](const QString& tunnelId, const QString& secret) {
          const InstallRecord* install = state_.installByTunnel(tunnelId);
          return install && !install->revoked && matchesHash(secret, install->secretHash);
      }),
      edge_([this](const QString& host) { return lookup(host); }, hub_, faults_, journal_) {
    sweepTimer_.setInterval(sweepIntervalMs);
    connect(&sweepTimer_, &QTimer::timeout, this, &LinkService::sweep);
    sweepTimer_.start();
}

void LinkService::restore() {
    if (const QString problem = state_.load(); !problem.isEmpty())
        logLine("state", problem);
    const QStringList hosts = state_.links.keys();
    for (const QString& host : hosts) {
        LinkRecord& link = state_.links[host];
        if (link.edgePort != 0 && !edge_.open(link.edgePort)) {
            logLine("state", QStringLiteral("link %1 lost its port; dropped").arg(host));
            state_.links.remove(host);
        }
    }
    sweep();
    state_.save();
}

bool LinkService::listenTunnels(const QHostAddress& address, quint16 port,
                                const std::optional<QSslConfiguration>& tls) {
    return hub_.listen(address, port, tls);
}

QString LinkService::linkDomain() const {
    return isPublic() ? options_.domain : QStringLiteral("localhost");
}

EdgeTarget LinkService::lookup(const QString& host) const {
    const auto it = state_.links.constFind(host);
    if (it == state_.links.constEnd())
        return {};
    if (it->ended)
        return {EdgeTarget::State::ended, {}};
    const InstallRecord install = state_.installs.value(it->installId);
    return {EdgeTarget::State::active, install.tunnelId};
}

LinkService::NewInstall LinkService::createInstall(const QString& device) {
    NewInstall install;
    install.token = randomHex(24);
    install.tunnelSecret = randomHex(32);
    install.record = InstallRecord{QStringLiteral("inst_") + randomHex(8),
                                   secretHash(install.token),
                                   QUuid::createUuid().toString(QUuid::WithoutBraces),
                                   secretHash(install.tunnelSecret),
                                   device,
                                   false};
    state_.installs.insert(install.record.installId, install.record);
    state_.save();
    return install;
}

const InstallRecord* LinkService::authenticate(const QByteArray& authorization) const {
    static const QByteArray prefix = "Bearer ";
    if (!authorization.startsWith(prefix))
        return nullptr;
    const QByteArray credential = authorization.mid(prefix.size());
    const qsizetype dot = credential.indexOf('.');
    if (dot <= 0)
        return nullptr;
    const auto it = state_.installs.constFind(QString::fromUtf8(credential.left(dot)));
    if (it == state_.installs.constEnd() || it->revoked ||
        !matchesHash(QString::fromUtf8(credential.mid(dot + 1)), it->tokenHash))
        return nullptr;
    return &*it;
}

void LinkService::deleteInstall(const QString& installId) {
    const InstallRecord install = state_.installs.take(installId);
    endLinksOf(installId);
    hub_.dropTunnel(install.tunnelId);
    state_.save();
}

bool LinkService::revokeInstall(const QString& installId) {
    const auto it = state_.installs.find(installId);
    if (it == state_.installs.end())
        return false;
    it->revoked = true;
    endLinksOf(installId);
    hub_.dropTunnel(it->tunnelId);
    state_.save();
    return true;
}

void LinkService::endLinksOf(const QString& installId) {
    for (LinkRecord& link : state_.links) {
        if (link.installId == installId && !link.ended) {
            link.ended = true;
            link.endedAtMs = nowMs();
        }
    }
}

std::optional<quint16> LinkService::openEdgePort() {
    if (options_.edgePortMin == 0)
        return edge_.open(0);
    for (quint32 p = options_.edgePortMin; p <= options_.edgePortMax; ++p) {
        const auto port = static_cast<quint16>(p);
        if (state_.links.contains(PublicEdge::hostFor(port)))
            continue;
        if (const auto opened = edge_.open(port))
            return opened;
    }
    return std::nullopt;
}

QString LinkService::newPublicHost() const {
    QString host;
    do {
        host = PublicNames::randomLabel() + QLatin1Char('.') + options_.domain;
    } while (state_.links.contains(host));
    return host;
}

std::optional<LinkRecord> LinkService::mint(const QString& installId, qint64 port) {
    LinkRecord link;
    if (isPublic()) {
        link.host = newPublicHost();
    } else {
        const std::optional<quint16> edgePort = openEdgePort();
        if (!edgePort)
            return std::nullopt;
        link.host = PublicEdge::hostFor(*edgePort);
        link.edgePort = *edgePort;
    }
    link.port = port;
    link.installId = installId;
    link.expiresAtMs = nowMs() + static_cast<qint64>(options_.linkLifetimeSeconds * 1000);
    state_.links.insert(link.host, link);
    state_.save();
    logLine("links", QStringLiteral("minted %1 for port %2 of %3, expires in %4 s")
                         .arg(link.host)
                         .arg(port)
                         .arg(installId)
                         .arg(options_.linkLifetimeSeconds));
    return link;
}

bool LinkService::admitRegistration(const QHostAddress& address) {
    return !isPublic() || registrations_.admit(address, nowMs());
}

bool LinkService::mayMint(const QString& installId) const {
    return !isPublic() || activeLinks(installId).size() < AbuseLimits::linksPerInstall;
}

QList<LinkRecord> LinkService::activeLinks(const QString& installId) const {
    QList<LinkRecord> out;
    for (const LinkRecord& link : state_.links) {
        if (link.installId == installId && !link.ended)
            out.append(link);
    }
    std::sort(out.begin(), out.end(), [](const LinkRecord& a, const LinkRecord& b) {
        return std::tie(a.edgePort, a.host) < std::tie(b.edgePort, b.host);
    });
    return out;
}

bool LinkService::endLink(const QString& host, const QString& installId) {
    const auto it = state_.links.find(host);
    if (it == state_.links.end() || it->ended ||
        (!installId.isEmpty() && it->installId != installId))
        return false;
    it->ended = true;
    it->endedAtMs = nowMs();
    state_.save();
    logLine("links", QStringLiteral("ended %1").arg(host));
    return true;
}

bool LinkService::dropTunnel(const QString& tunnelId) {
    const bool connected = hub_.isConnected(tunnelId);
    hub_.dropTunnel(tunnelId);
    return connected;
}

void LinkService::sweep() {
    const qint64 now = nowMs();
    const auto graceMs = static_cast<qint64>(options_.endedGraceSeconds * 1000);
    bool changed = false;
    const QStringList hosts = state_.links.keys();
    for (const QString& host : hosts) {
        LinkRecord& link = state_.links[host];
        if (!link.ended && link.expiresAtMs <= now) {
            link.ended = true;
            link.endedAtMs = link.expiresAtMs;
            changed = true;
            logLine("links", QStringLiteral("%1 expired").arg(host));
        }
        if (link.ended && link.endedAtMs + graceMs <= now) {
            if (link.edgePort != 0)
                edge_.close(link.edgePort);
            state_.links.remove(host);
            changed = true;
        }
    }
    if (changed)
        state_.save();
}

QString LinkService::tunnelEndpoint() const {
    if (!options_.tunnelEndpoint.isEmpty())
        return options_.tunnelEndpoint;
    const QString host =
        isPublic() ? PublicFace::apiName(options_.domain) : QStringLiteral("127.0.0.1");
    return QStringLiteral("%1:%2").arg(host).arg(hub_.serverPort());
}

QJsonObject LinkService::credentialsFor(const NewInstall& install) const {
    QJsonObject credentials{{QStringLiteral("tunnelId"), install.record.tunnelId},
                            {QStringLiteral("secret"), install.tunnelSecret},
                            {QStringLiteral("endpoint"), tunnelEndpoint()}};
    // The public tunnel port speaks TLS: the client must dial it so.
    if (isPublic())
        credentials.insert(QStringLiteral("tls"), true);
    return credentials;
}

QJsonObject LinkService::linkJson(const LinkRecord& link) const {
    return {{QStringLiteral("host"), link.host},
            {QStringLiteral("port"), link.port},
            {QStringLiteral("expiresAt"), static_cast<double>(link.expiresAtMs)},
            {QStringLiteral("url"),
             (isPublic() ? QStringLiteral("https://") : QStringLiteral("http://")) + link.host}};
}

QJsonObject LinkService::snapshot() const {
    QJsonArray installs;
    for (const InstallRecord& i : state_.installs) {
        installs.append(QJsonObject{{QStringLiteral("installId"), i.installId},
                                    {QStringLiteral("tunnelId"), i.tunnelId},
                                    {QStringLiteral("device"), i.device},
                                    {QStringLiteral("revoked"), i.revoked},
                                    {QStringLiteral("connected"), hub_.isConnected(i.tunnelId)}});
    }
    QJsonArray links;
    for (const LinkRecord& l : state_.links) {
        QJsonObject o = linkJson(l);
        o.insert(QStringLiteral("installId"), l.installId);
        o.insert(QStringLiteral("ended"), l.ended);
        links.append(o);
    }
    return {{QStringLiteral("installs"), installs}, {QStringLiteral("links"), links}};
}

QByteArray LinkService::metricsText() const {
    qsizetype active = 0;
    for (const LinkRecord& link : state_.links)
        active += link.ended ? 0 : 1;
    QByteArray out;
    const auto gauge = [&out](const char* name, const char* help, qint64 value) {
        out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + " gauge\n" + name +
               ' ' + QByteArray::number(value) + '\n';
    };
    gauge("skerrow_tunnels_connected", "Tunnels with a live connection.", hub_.connectedCount());
    gauge("skerrow_installs", "Registered installs.", state_.installs.size());
    gauge("skerrow_links_active", "Links that serve visitors.", active);
    gauge("skerrow_links_ended", "Ended links still answering as ended.",
          state_.links.size() - active);
    const PublicEdge::Counts& counts = edge_.counts();
    out +=
        "# HELP skerrow_edge_requests_total Visitor requests, by who answered and status class.\n"
        "# TYPE skerrow_edge_requests_total counter\n";
    out += "skerrow_edge_requests_total{answered_by=\"tunnel\"} " +
           QByteArray::number(counts.delivered) + '\n';
    for (size_t statusClass = 1; statusClass < counts.answeredByClass.size(); ++statusClass) {
        out += "skerrow_edge_requests_total{answered_by=\"edge\",class=\"" +
               QByteArray::number(statusClass) + "xx\"} " +
               QByteArray::number(counts.answeredByClass[statusClass]) + '\n';
    }
    return out;
}
