#include "history/EntryAssembler.h"

#include "history/HttpHead.h"

namespace {

QString endingText(CaptureEvent::Ending ending) {
    switch (ending) {
    case CaptureEvent::Ending::complete:
        return QStringLiteral("complete");
    case CaptureEvent::Ending::appRefused:
        return QStringLiteral("app refused");
    case CaptureEvent::Ending::visitorGone:
        return QStringLiteral("visitor gone");
    case CaptureEvent::Ending::noAnswer:
        return QStringLiteral("no answer");
    }
    return {};
}

// Moves bytes into `head` until its blank line; returns what follows it, or nothing while the
// head is still incomplete. A head that outgrows `longest` is given up: all of it is body.
std::optional<QByteArray> takeHead(QByteArray& head, bool& done, QByteArrayView bytes,
                                   qsizetype longest) {
    const qsizetype searchFrom = std::max<qsizetype>(0, head.size() - 3);
    head.append(bytes);
    const qsizetype at = head.indexOf(HttpHeads::terminator, searchFrom);
    if (at >= 0) {
        done = true;
        QByteArray rest = head.sliced(at + HttpHeads::terminator.size());
        head.truncate(at + HttpHeads::terminator.size());
        return rest;
    }
    if (head.size() > longest) {
        done = true;
        QByteArray all;
        all.swap(head);
        return all;
    }
    return std::nullopt;
}

// Whether the response's framing says all of its body arrived: the visitor may close as soon as
// it has the whole answer, before the app closes its side.
bool bodyComplete(const HttpHead& head, const BodySink& body, const QByteArray& inlineBytes) {
    if (const auto length = head.value("content-length"))
        return length->toLongLong() == body.total();
    if (head.value("transfer-encoding").value_or(QByteArray()).toLower().contains("chunked"))
        return body.inMemory() && inlineBytes.endsWith("0\r\n\r\n");
    return false;
}

} // namespace

EntryAssembler::EntryAssembler(const CaptureEvent& begin, const QString& bodyDirectory)
    : requestBody_(bodyDirectory), responseBody_(bodyDirectory) {
    entry_.replayOf = begin.replayOf;
    entry_.acceptedMs = begin.acceptedMs;
    entry_.link = begin.link;
    entry_.visitor = begin.visitor;
    entry_.appPort = begin.appPort;
    entry_.headUs = begin.atUs;
}

void EntryAssembler::add(const CaptureEvent& event) {
    switch (event.kind) {
    case CaptureEvent::Kind::requestBytes:
        addRequest(event.bytes, event.atUs);
        return;
    case CaptureEvent::Kind::responseBytes:
        if (entry_.firstByteUs < 0)
            entry_.firstByteUs = event.atUs;
        addResponse(event.bytes, event.atUs);
        return;
    case CaptureEvent::Kind::appConnected:
        entry_.connectedUs = event.atUs;
        return;
    case CaptureEvent::Kind::begin:
    case CaptureEvent::Kind::end:
        return;
    }
}

void EntryAssembler::addRequest(QByteArrayView bytes, qint64 atUs) {
    if (fromVisitor_) {
        entry_.messages.append(fromVisitor_->feed(bytes, atUs));
        return;
    }
    if (requestHeadDone_) {
        requestBody_.append(bytes);
        return;
    }
    if (const auto rest = takeHead(requestHead_, requestHeadDone_, bytes, longestRequestHead))
        requestBody_.append(*rest);
}

void EntryAssembler::addResponse(QByteArrayView bytes, qint64 atUs) {
    if (fromApp_) {
        entry_.messages.append(fromApp_->feed(bytes, atUs));
        return;
    }
    if (responseHeadDone_) {
        responseBody_.append(bytes);
        return;
    }
    const auto rest = takeHead(responseHead_, responseHeadDone_, bytes, longestResponseHead);
    if (!rest)
        return;
    upgradeIfSwitched();
    if (fromApp_)
        entry_.messages.append(fromApp_->feed(*rest, atUs));
    else
        responseBody_.append(*rest);
}

// The app switched to WebSocket: from now on both directions carry frames.
void EntryAssembler::upgradeIfSwitched() {
    const HttpHead request = HttpHeads::parse(requestHead_);
    const HttpHead response = HttpHeads::parse(responseHead_);
    const bool websocket =
        request.value("upgrade").value_or(QByteArray()).compare("websocket", Qt::CaseInsensitive) ==
        0;
    if (response.status() != 101 || !websocket)
        return;
    entry_.upgraded = true;
    fromVisitor_.emplace(true);
    fromApp_.emplace(false);
}

RecordedRequest EntryAssembler::finish(const CaptureEvent& end) {
    requestBody_.skip(end.skippedToApp);
    responseBody_.skip(end.skippedToVisitor);
    entry_.doneUs = end.atUs;
    entry_.ending = endingText(end.ending);
    entry_.incomplete = end.incomplete;

    const HttpHead request = HttpHeads::parse(requestHead_);
    entry_.requestHead = requestHead_;
    entry_.method = QString::fromLatin1(request.method());
    entry_.target = QString::fromUtf8(request.target());
    entry_.version = QString::fromLatin1(request.version());
    entry_.responseHead = responseHead_;
    const HttpHead response = HttpHeads::parse(responseHead_);
    entry_.status = response.status();
    if (end.ending == CaptureEvent::Ending::visitorGone && responseHeadDone_ && !fromApp_ &&
        bodyComplete(response, responseBody_, responseBody_.inlineBytes()))
        entry_.ending = endingText(CaptureEvent::Ending::complete);

    const auto store = [](BodySink& sink, StoredBody& body) {
        body.file = sink.finish();
        body.size = sink.total();
        body.kept = sink.kept();
        if (sink.inMemory())
            body.bytes = sink.inlineBytes();
    };
    store(requestBody_, entry_.requestBody);
    store(responseBody_, entry_.responseBody);
    return entry_;
}
