#include "history/Replay.h"

#include "history/HistoryReader.h"
#include "router/CaptureQueue.h"
#include "router/RequestCapture.h"

namespace Replay {

std::optional<QByteArray> originalBytes(const RecordedRequest& request,
                                        const HistoryReader& reader) {
    if (request.requestBody.truncated() || request.incomplete)
        return std::nullopt;
    const QByteArray body = reader.bodyBytes(request.requestBody);
    if (body.size() != request.requestBody.size)
        return std::nullopt;
    return request.requestHead + body;
}

Edit editable(const RecordedRequest& request, const QByteArray& body) {
    const HttpHead head = HttpHeads::parse(request.requestHead);
    return {head.method(), head.target(), head.version(), head.fields, body};
}

QByteArray editedBytes(const Edit& edit) {
    HttpHead head;
    head.startLine = edit.method + ' ' + edit.target + ' ' + edit.version;
    for (const auto& field : edit.fields) {
        if (field.first.compare("content-length", Qt::CaseInsensitive) == 0 ||
            field.first.compare("transfer-encoding", Qt::CaseInsensitive) == 0)
            continue;
        head.fields.append(field);
    }
    const bool bodyless = edit.body.isEmpty() && (edit.method == "GET" || edit.method == "HEAD");
    if (!bodyless)
        head.fields.append({"Content-Length", QByteArray::number(edit.body.size())});
    return head.bytes() + edit.body;
}

bool hasTimestampedSignature(const HttpHead& head) {
    static const char* const names[] = {
        "stripe-signature",      "x-slack-request-timestamp",
        "x-signature-timestamp", "webhook-timestamp",
        "svix-timestamp",        "x-twilio-signature-timestamp",
        "x-hook-timestamp",      "x-request-timestamp",
    };
    for (const char* name : names) {
        if (head.value(name))
            return true;
    }
    return false;
}

} // namespace Replay

ReplaySender::ReplaySender(const RecordedRequest& original, QByteArray bytes,
                           std::shared_ptr<CaptureQueue> queue, QObject* parent)
    : QObject(parent), bytes_(std::move(bytes)), port_(original.appPort),
      capture_(std::make_unique<RequestCapture>(std::move(queue), original.id)) {
    capture_->headRead(original.link, QString::fromLatin1(Replay::replayVisitor), port_, false,
                       bytes_);
    connect(&socket_, &QTcpSocket::connected, this, [this] {
        connected_ = true;
        capture_->appConnected();
        socket_.write(bytes_);
    });
    connect(&socket_, &QTcpSocket::readyRead, this, [this] {
        const QByteArray got = socket_.readAll();
        capture_->relayed(RequestCapture::Direction::toVisitor, got.constData(), got.size());
    });
    connect(&socket_, &QTcpSocket::disconnected, this, [this] { end(true); });
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        if (e != QAbstractSocket::RemoteHostClosedError)
            end(connected_);
    });
}

ReplaySender::~ReplaySender() = default;

void ReplaySender::start() {
    socket_.connectToHost(QStringLiteral("localhost"), static_cast<quint16>(port_));
}

void ReplaySender::end(bool reached) {
    if (done_)
        return;
    done_ = true;
    const QByteArray rest = socket_.readAll();
    if (!rest.isEmpty())
        capture_->relayed(RequestCapture::Direction::toVisitor, rest.constData(), rest.size());
    if (!reached)
        capture_->answered(502);
    capture_->ended(true, false);
    Q_EMIT finished(reached);
    deleteLater();
}
