#pragma once

#include "link-service/AbuseLimits.h"
#include "link-service/FaultTable.h"
#include "link-service/PublicEdge.h"
#include "link-service/RequestJournal.h"
#include "link-service/ServiceOptions.h"
#include "link-service/ServiceState.h"
#include "link-service/TunnelHub.h"

#include <QJsonObject>
#include <QObject>
#include <QTimer>

// The service's model: installs, links and their lifetimes, with the edge and the tunnel hub
// kept in step. The API and the test controls both act through it.
class LinkService : public QObject {
    Q_OBJECT
public:
    explicit LinkService(const ServiceOptions& options, QObject* parent = nullptr);

    // Reads the saved state and reopens the edge ports of the links it holds; a problem with
    // the saved state is logged and the service starts empty.
    void restore();
    bool listenTunnels(const QHostAddress& address, quint16 port,
                       const std::optional<QSslConfiguration>& tls = std::nullopt);
    void setTunnelTls(const QSslConfiguration& tls) { hub_.setTls(tls); }
    quint16 tunnelPort() const { return hub_.serverPort(); }

    // A new install, with its token and tunnel secret in clear for the one answer that hands
    // them out.
    struct NewInstall {
        InstallRecord record;
        QString token;
        QString tunnelSecret;
    };
    NewInstall createInstall(const QString& device);
    // The install named by an "Authorization" value, when it is known and not revoked.
    const InstallRecord* authenticate(const QByteArray& authorization) const;
    void deleteInstall(const QString& installId);
    bool revokeInstall(const QString& installId);

    // A new link, or nothing when no edge port could be opened.
    std::optional<LinkRecord> mint(const QString& installId, qint64 port);
    // Whether the public face may register one more install for this address now (counts it).
    bool admitRegistration(const QHostAddress& address);
    // Whether the install may hold one more live link.
    bool mayMint(const QString& installId) const;
    QList<LinkRecord> activeLinks(const QString& installId) const;
    // Ends an active link; with an install id only one of that install's links.
    bool endLink(const QString& host, const QString& installId = {});
    bool dropTunnel(const QString& tunnelId);

    // Whether links are names under a domain on the shared TLS port, not ports on loopback.
    bool isPublic() const { return !options_.domain.isEmpty(); }
    // The domain the links live under, as reported to new installs.
    QString linkDomain() const;
    // The edge, for the public face to hand visitors to.
    PublicEdge& edge() { return edge_; }
    QJsonObject credentialsFor(const NewInstall& install) const;
    QJsonObject linkJson(const LinkRecord& link) const;
    QJsonObject snapshot() const;
    // The figures of the metrics endpoint, in the Prometheus text format.
    QByteArray metricsText() const;

    FaultTable& faults() { return faults_; }
    RequestJournal& journal() { return journal_; }

private:
    void sweep();
    void endLinksOf(const QString& installId);
    std::optional<quint16> openEdgePort();
    QString newPublicHost() const;
    QString tunnelEndpoint() const;
    EdgeTarget lookup(const QString& host) const;

    ServiceOptions options_;
    ServiceState state_;
    FaultTable faults_;
    RequestJournal journal_;
    TunnelHub hub_;
    PublicEdge edge_;
    QTimer sweepTimer_;
    AddressRateLimit registrations_{AbuseLimits::registrationsPerAddressPerHour,
                                    AbuseLimits::registrationWindowMs};
};
