#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <memory>

// Helpers for tests that run the local link service and the local tunnel client as processes.

struct HttpResult {
    int status = 0; // 0: no HTTP answer
    QByteArray body;
    QMap<QByteArray, QByteArray> headers; // lower-cased names
    QJsonObject json() const;
};

HttpResult httpCall(const QByteArray& method, const QString& url, const QByteArray& body = {},
                    const QMap<QByteArray, QByteArray>& headers = {}, int timeoutMs = 5000);

// Sends raw bytes on a fresh connection and returns everything read until the peer closes.
QByteArray rawExchange(quint16 port, const QByteArray& request, int timeoutMs = 10000);

quint16 freePort();

// Where Debian's chromium lives; tests that need it skip when it is missing.
inline constexpr char chromiumPath[] = "/usr/bin/chromium";
bool chromiumInstalled();

// What headless Chromium makes of the page at `url`: the DOM after load and its stderr.
struct BrowserPage {
    bool finished = false; // false: still loading after a minute
    QByteArray dom;
    QByteArray errors;
};
BrowserPage headlessPage(const QString& url);

class ServiceProcess {
public:
    ~ServiceProcess();
    // Starts the service with the given extra options; ports left 0 are chosen by it.
    bool start(const QString& statePath, const QStringList& extra = {}, quint16 apiPort = 0,
               quint16 controlPort = 0, quint16 tunnelPort = 0);
    // Starts the public face for `domain` on loopback, every port chosen by the service.
    bool startPublic(const QString& statePath, const QString& domain, const QString& certificate,
                     const QString& key, const QStringList& extra = {});
    qint64 pid() const { return process_ ? process_->processId() : 0; }
    // Sends SIGTERM and waits; returns the exit code, or -1 when the process crashed or had to
    // be killed.
    int stop();
    QString api(const QString& path) const;
    QString control(const QString& path) const;
    QByteArray output() const { return stderrText_; }

    quint16 apiPort = 0;
    quint16 controlPort = 0;
    quint16 tunnelPort = 0;
    quint16 httpsPort = 0;
    quint16 httpPort = 0;

private:
    // Runs the service and reads the ports from its first line of output.
    bool launch(const QStringList& args);

    std::unique_ptr<QProcess> process_;
    QByteArray stderrText_;
};

// The hosts of the links whose end the service has received, in arrival order.
QStringList endedLinkHosts(const ServiceProcess& service);

// An install as the app keeps it, written from the service's install response.
struct InstallFiles {
    QString installId;
    QString token;
    QString tunnelId;
    QByteArray authorization() const;
};

// Registers an install and writes the credentials file and config.yml (in the app's layout) into
// `dir`, with the given metrics and ingress ports.
InstallFiles installInto(const ServiceProcess& service, const QString& dir, quint16 metricsPort,
                         quint16 ingressPort);
// The same from a register answer already in hand.
InstallFiles writeInstall(const QJsonObject& answer, const QString& dir, quint16 metricsPort,
                          quint16 ingressPort);

class TunnelProcess {
public:
    ~TunnelProcess();
    // `environment` entries ("NAME=value") are added to the test's own environment.
    bool start(const QString& supportDir, const QStringList& environment = {});
    QProcess& process() { return *process_; }
    QByteArray log() const;

private:
    std::unique_ptr<QProcess> process_;
    QString logPath_;
};

// A minimal origin: records each connection's bytes and answers every complete request (head
// plus Content-Length body) with `answer`, then closes.
class RecordingOrigin : public QObject {
public:
    explicit RecordingOrigin(QByteArray answer);
    bool listen(quint16 port = 0);
    quint16 port() const { return server_.serverPort(); }
    void close() { server_.close(); }
    QList<QByteArray> received;

private:
    QTcpServer server_;
    QByteArray answer_;
};

// Mints a link for the install and returns its edge port, or 0.
quint16 mintEdgePort(const ServiceProcess& service, const InstallFiles& install, int port = 3000);
