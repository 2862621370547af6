#pragma once

#include "history/HttpHead.h"
#include "history/RecordedRequest.h"

#include <QByteArray>
#include <QObject>
#include <QTcpSocket>
#include <memory>
#include <optional>

class CaptureQueue;
class HistoryReader;
class RequestCapture;

// Sending a stored request to the local app again. The answer is recorded as a new entry that
// names the original, through the capture queue like any relayed request.
namespace Replay {

// What the visitor's side shows for a replay.
inline constexpr const char* replayVisitor = "replay";

// The request exactly as the app got it, head and body; absent when the body was not kept whole.
std::optional<QByteArray> originalBytes(const RecordedRequest& request,
                                        const HistoryReader& reader);

// A request to edit before it is sent again.
struct Edit {
    QByteArray method;
    QByteArray target;
    QByteArray version;
    QList<QPair<QByteArray, QByteArray>> fields;
    QByteArray body;
};
Edit editable(const RecordedRequest& request, const QByteArray& body);
// The edited request's bytes, with a Content-Length that matches its body: a chunked framing
// gives way to it, as the edited body is sent whole.
QByteArray editedBytes(const Edit& edit);

// Header names whose value carries a signing time in the common webhook schemes: a replay of
// a request that has one may be refused by the app once a few minutes have passed.
bool hasTimestampedSignature(const HttpHead& head);

} // namespace Replay

// One replay in flight: connects to the app on localhost, sends the bytes, reads the answer
// until the app closes, and records it all. Deletes itself when done.
class ReplaySender : public QObject {
    Q_OBJECT
public:
    ReplaySender(const RecordedRequest& original, QByteArray bytes,
                 std::shared_ptr<CaptureQueue> queue, QObject* parent = nullptr);
    ~ReplaySender() override;
    void start();

Q_SIGNALS:
    // The app answered and closed, or could not be reached.
    void finished(bool reached);

private:
    void end(bool reached);

    QTcpSocket socket_;
    QByteArray bytes_;
    qint64 port_;
    std::unique_ptr<RequestCapture> capture_;
    bool connected_ = false;
    bool done_ = false;
};
