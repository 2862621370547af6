#include "LocalParties.h"

#include "support/Wait.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>

QJsonObject HttpResult::json() const {
    return QJsonDocument::fromJson(body).object();
}

HttpResult httpCall(const QByteArray& method, const QString& url, const QByteArray& body,
                    const QMap<QByteArray, QByteArray>& headers, int timeoutMs) {
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(timeoutMs);
    for (auto it = headers.begin(); it != headers.end(); ++it)
        request.setRawHeader(it.key(), it.value());
    QNetworkReply* reply = manager.sendCustomRequest(request, method, body);
    waitUntil([&] { return reply->isFinished(); }, std::chrono::milliseconds(timeoutMs + 2000));
    HttpResult result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    for (const auto& pair : reply->rawHeaderPairs())
        result.headers.insert(pair.first.toLower(), pair.second);
    reply->abort();
    delete reply;
    return result;
}

QByteArray rawExchange(quint16 port, const QByteArray& request, int timeoutMs) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(timeoutMs))
        return {};
    socket.write(request);
    QByteArray answer;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { answer += socket.readAll(); });
    waitUntil([&] { return socket.state() == QAbstractSocket::UnconnectedState; },
              std::chrono::milliseconds(timeoutMs));
    answer += socket.readAll();
    return answer;
}

quint16 freePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

QStringList endedLinkHosts(const ServiceProcess& service) {
    const HttpResult result =
        httpCall("GET", service.control(QStringLiteral("/requests?scope=api")));
    QStringList ended;
    const QString prefix = QStringLiteral("/v1/links/");
    for (const QJsonValue& entry : result.json().value(QStringLiteral("requests")).toArray()) {
        const QJsonObject request = entry.toObject();
        const QString path = request.value(QStringLiteral("path")).toString();
        if (request.value(QStringLiteral("method")).toString() == QStringLiteral("DELETE") &&
            path.startsWith(prefix))
            ended.append(path.mid(prefix.size()));
    }
    return ended;
}

bool chromiumInstalled() {
    return QFileInfo(QLatin1String(chromiumPath)).isExecutable();
}

BrowserPage headlessPage(const QString& url) {
    QTemporaryDir profile;
    QProcess browser;
    browser.start(
        QLatin1String(chromiumPath),
        {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
         QStringLiteral("--disable-gpu"), QStringLiteral("--disable-quic"),
         QStringLiteral("--no-first-run"), QStringLiteral("--disable-background-networking"),
         QStringLiteral("--disable-component-update"), QStringLiteral("--disable-sync"),
         QStringLiteral("--user-data-dir=") + profile.path(), QStringLiteral("--dump-dom"), url});
    // A first start of a fresh profile is slow on a loaded machine.
    const bool finished = waitUntil([&] { return browser.state() == QProcess::NotRunning; },
                                    std::chrono::seconds(60));
    return {finished, browser.readAllStandardOutput(), browser.readAllStandardError()};
}

ServiceProcess::~ServiceProcess() {
    stop();
}

bool ServiceProcess::start(const QString& statePath, const QStringList& extra, quint16 api,
                           quint16 controlPort_, quint16 tunnel) {
    QStringList args{QStringLiteral("--api-port"),     QString::number(api),
                     QStringLiteral("--control-port"), QString::number(controlPort_),
                     QStringLiteral("--tunnel-port"),  QString::number(tunnel),
                     QStringLiteral("--state"),        statePath};
    args += extra;
    return launch(args) && apiPort && controlPort && tunnelPort;
}

bool ServiceProcess::startPublic(const QString& statePath, const QString& domain,
                                 const QString& certificate, const QString& key,
                                 const QStringList& extra) {
    QStringList args{QStringLiteral("--domain"),      domain,
                     QStringLiteral("--tls-cert"),    certificate,
                     QStringLiteral("--tls-key"),     key,
                     QStringLiteral("--https-port"),  QStringLiteral("0"),
                     QStringLiteral("--http-port"),   QStringLiteral("0"),
                     QStringLiteral("--tunnel-port"), QStringLiteral("0"),
                     QStringLiteral("--listen"),      QStringLiteral("127.0.0.1"),
                     QStringLiteral("--state"),       statePath};
    args += extra;
    return launch(args) && httpsPort && httpPort && tunnelPort;
}

bool ServiceProcess::launch(const QStringList& args) {
    process_ = std::make_unique<QProcess>();
    QByteArray out;
    QObject::connect(process_.get(), &QProcess::readyReadStandardError,
                     [this] { stderrText_ += process_->readAllStandardError(); });
    process_->start(QStringLiteral(SKERROW_LINK_SERVICE_PATH), args);
    const bool started = waitUntil([&] {
        out += process_->readAllStandardOutput();
        return out.contains('\n') || process_->state() == QProcess::NotRunning;
    });
    const QByteArray line = out.left(out.indexOf('\n'));
    for (const QByteArray& word : line.split(' ')) {
        const QList<QByteArray> pair = word.split('=');
        if (pair.size() != 2)
            continue;
        const auto value = pair[1].toUShort();
        if (pair[0] == "api")
            apiPort = value;
        else if (pair[0] == "control")
            controlPort = value;
        else if (pair[0] == "tunnel")
            tunnelPort = value;
        else if (pair[0] == "https")
            httpsPort = value;
        else if (pair[0] == "http")
            httpPort = value;
    }
    return started;
}

int ServiceProcess::stop() {
    if (!process_ || process_->state() == QProcess::NotRunning)
        return -1;
    process_->terminate();
    const bool finished = process_->waitForFinished(5000);
    if (!finished)
        process_->kill();
    process_->waitForFinished(5000);
    stderrText_ += process_->readAllStandardError();
    if (!finished || process_->exitStatus() != QProcess::NormalExit)
        return -1;
    return process_->exitCode();
}

QString ServiceProcess::api(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(apiPort).arg(path);
}

QString ServiceProcess::control(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(controlPort).arg(path);
}

QByteArray InstallFiles::authorization() const {
    return "Bearer " + installId.toUtf8() + '.' + token.toUtf8();
}

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace

InstallFiles installInto(const ServiceProcess& service, const QString& dir, quint16 metricsPort,
                         quint16 ingressPort) {
    const HttpResult answer = httpCall("POST", service.api(QStringLiteral("/v1/install")), {},
                                       {{"X-Skerrow-Device", QByteArray(64, 'a')}});
    return writeInstall(answer.json(), dir, metricsPort, ingressPort);
}

InstallFiles writeInstall(const QJsonObject& o, const QString& dir, quint16 metricsPort,
                          quint16 ingressPort) {
    InstallFiles files{o.value(QStringLiteral("installId")).toString(),
                       o.value(QStringLiteral("installToken")).toString(),
                       o.value(QStringLiteral("tunnelId")).toString()};
    writeFile(dir + QLatin1Char('/') + files.tunnelId + QStringLiteral(".json"),
              QJsonDocument(o.value(QStringLiteral("credentials")).toObject())
                  .toJson(QJsonDocument::Compact));
    // The layout the app writes: pretty-printed, keys sorted, plain slashes, no final newline.
    const QString config = QStringLiteral("{\n"
                                          "  \"credentials-file\" : \"%1.json\",\n"
                                          "  \"ingress\" : [\n"
                                          "    {\n"
                                          "      \"service\" : \"http://127.0.0.1:%2\"\n"
                                          "    }\n"
                                          "  ],\n"
                                          "  \"metrics\" : \"127.0.0.1:%3\",\n"
                                          "  \"tunnel\" : \"%1\"\n"
                                          "}")
                               .arg(files.tunnelId)
                               .arg(ingressPort)
                               .arg(metricsPort);
    writeFile(dir + QStringLiteral("/config.yml"), config.toUtf8());
    return files;
}

TunnelProcess::~TunnelProcess() {
    if (process_ && process_->state() != QProcess::NotRunning) {
        process_->kill();
        process_->waitForFinished(5000);
    }
}

bool TunnelProcess::start(const QString& supportDir, const QStringList& environment) {
    process_ = std::make_unique<QProcess>();
    process_->setEnvironment(QProcess::systemEnvironment() + environment);
    logPath_ = supportDir + QStringLiteral("/cloudflared.log");
    process_->setWorkingDirectory(supportDir);
    process_->setStandardOutputFile(logPath_);
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->start(QStringLiteral(SKERROW_TUNNEL_CLIENT_PATH),
                    {QStringLiteral("tunnel"), QStringLiteral("--config"),
                     supportDir + QStringLiteral("/config.yml"), QStringLiteral("--no-autoupdate"),
                     QStringLiteral("run")});
    return process_->waitForStarted(5000);
}

QByteArray TunnelProcess::log() const {
    QFile file(logPath_);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

RecordingOrigin::RecordingOrigin(QByteArray answer) : answer_(std::move(answer)) {
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            const qsizetype index = received.size();
            received.append(QByteArray());
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket, index] {
                QByteArray& bytes = received[index];
                bytes += socket->readAll();
                const qsizetype end = bytes.indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                qsizetype length = 0;
                for (const QByteArray& line : bytes.left(end).split('\n')) {
                    if (line.toLower().startsWith("content-length:"))
                        length = line.mid(15).trimmed().toLongLong();
                }
                if (bytes.size() >= end + 4 + length) {
                    socket->write(answer_);
                    socket->disconnectFromHost();
                }
            });
        }
    });
}

bool RecordingOrigin::listen(quint16 port) {
    return server_.listen(QHostAddress::LocalHost, port);
}

quint16 mintEdgePort(const ServiceProcess& service, const InstallFiles& install, int port) {
    const HttpResult minted = httpCall("POST", service.api(QStringLiteral("/v1/links")),
                                       "{\"port\":" + QByteArray::number(port) + "}",
                                       {{"Authorization", install.authorization()}});
    const QString host = minted.json().value(QStringLiteral("host")).toString();
    return host.section(QLatin1Char(':'), 1).toUShort();
}
