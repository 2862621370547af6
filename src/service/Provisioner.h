#pragma once

#include "service/CancelToken.h"
#include "service/HttpExchange.h"
#include "service/Install.h"
#include "service/RemoteLink.h"

#include <QCoroTask>
#include <QJsonObject>
#include <QMap>
#include <QMutex>
#include <QStringList>
#include <optional>

// The client of the link service and the owner of the install's files and of the queue of links
// still to be ended at the service. A Provisioner holds only where it works: the support
// directory and the service's base URL, both fixed at construction; copies are cheap and every
// operation may run on any thread that runs an event loop.
//
// Failures are thrown: ProvisionError, and the platform's TransportError, FileError and
// JsonError (all UserFacingError). Asynchronous operations carry them through their task.
class Provisioner {
public:
    // The service's answers take at most this long to start flowing.
    static constexpr int requestTimeoutMs = 30'000;
    // Stored as the install's domain when the service names none.
    static constexpr char defaultLinkDomain[] = "skerrow.dev";

    // Defaults: the user's support directory and the build profile's service.
    explicit Provisioner(const std::optional<QString>& supportDir = std::nullopt,
                         const std::optional<QString>& apiBase = std::nullopt);

    const QString& supportDir() const { return supportDir_; }
    const QString& apiBase() const { return apiBase_; }
    // A file directly in the support directory.
    QString fileURL(const QString& name) const;
    QString installURL() const;
    QString configURL() const;
    QString pendingKillsURL() const;

    // One call of the service: apiBase + path, JSON content type, bearer auth when given, the
    // extra headers replacing any of the same name, the body as compact JSON. Does not look at
    // the status; each operation applies its own.
    QCoro::Task<HttpAnswer> request(QString method, QString path, std::optional<Install> auth,
                                    std::optional<QJsonObject> body, QMap<QString, QString> headers,
                                    CancelToken cancel = {}) const;

    // Install and local credentials.
    QCoro::Task<> install(CancelToken cancel = {}) const;
    bool isProvisioned() const;
    Install loadInstall() const;
    QCoro::Task<> deleteInstall(CancelToken cancel = {}) const;
    // Removes the install and every file that depends on it; never fails.
    void clearLocal() const noexcept;
    void ensureSupportDir() const;
    static void writeSecure(const QByteArray& data, const QString& file);

    // Links.
    QCoro::Task<RemoteLink> mint(qint64 port, CancelToken cancel = {}) const;
    QCoro::Task<LinksResponse> links(CancelToken cancel = {}) const;
    QCoro::Task<> kill(QString host, CancelToken cancel = {}) const;

    // Pending kills: never fail, safe from any thread.
    void addPendingKills(const QStringList& hosts) const;
    void removePendingKill(const QString& host) const;
    // The queued hosts, read under pendingLock.
    QStringList pendingKills() const;
    // Serialises every read-modify-write of the pending kills file in the process.
    static QMutex& pendingLock();
    // With pendingLock held: the queued hosts, empty when the file is missing or malformed.
    QStringList readPendingKills() const;
    // With pendingLock held: stores the list, an empty one by removing the file.
    void writePendingKills(const QStringList& hosts) const;

private:
    QString supportDir_;
    QString apiBase_;
};

// The path for ending the link with this host: "/v1/links/" and the host as one path segment.
QString killPath(const QString& host);
