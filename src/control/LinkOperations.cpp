#include "control/LinkOperations.h"

#include "app/AppState.h"
#include "control/StateWait.h"

using namespace std::chrono_literals;

namespace {

const QString portNotRunningText = QStringLiteral("Port not running");
const QString notReadyText = QStringLiteral("Tunnel not ready yet");
const QString busyText = QStringLiteral("Another link operation is under way");
const QString notMadeText = QStringLiteral("Link not made");
// A share waits a minute for its link to answer, after the service's answers.
constexpr auto operationLimit = 180s;
// Two refresh cycles and a slow scan.
constexpr auto nextScanWait = 8000ms;

QStringList hosts(const QList<ShareLink>& links) {
    QStringList result;
    for (const ShareLink& link : links)
        result.append(link.host);
    return result;
}

const ShareLink* findLink(const QList<ShareLink>& links, const QString& host) {
    for (const ShareLink& link : links) {
        if (link.host.compare(host, Qt::CaseInsensitive) == 0)
            return &link;
    }
    return nullptr;
}

const PortRow* findRow(const QList<PortRow>& rows, qint64 port) {
    for (const PortRow& row : rows) {
        if (row.port == port)
            return &row;
    }
    return nullptr;
}

LinkOperations::Outcome failure(ControlFailure kind, QString text) {
    return {{}, ControlError{kind, std::move(text)}};
}

} // namespace

LinkOperations::LinkOperations(AppState& state) : state_(&state) {}

std::optional<ControlError> LinkOperations::cannotStart() const {
    if (!state_->configured())
        return ControlError{ControlFailure::notReady, notReadyText};
    if (state_->isBusy())
        return ControlError{ControlFailure::busy, busyText};
    return std::nullopt;
}

QCoro::Task<> LinkOperations::untilIdle() const {
    const QPointer<AppState> state = state_;
    QCoro::Task<> waiting = waitFor(
        state_.data(), [state] { return !state || !state->isBusy(); }, operationLimit);
    co_await waiting;
}

LinkOperations::Outcome LinkOperations::newLink(qint64 port, const QStringList& before,
                                                const std::optional<QString>& statusBefore) const {
    if (!state_)
        return failure(ControlFailure::failed, notMadeText);
    for (const ShareLink& link : state_->links()) {
        if (link.port != port || before.contains(link.host))
            continue;
        const QString url = publicURL(link.host);
        if (!state_->liveHosts().contains(link.host))
            return failure(ControlFailure::notAnswering,
                           QStringLiteral("No answer through %1 yet").arg(url));
        return {url, std::nullopt};
    }
    const std::optional<QString>& status = state_->statusMessage();
    return failure(ControlFailure::failed,
                   status && status != statusBefore ? *status : notMadeText);
}

QCoro::Task<LinkOperations::Outcome> LinkOperations::share(qint64 port) {
    // An app started a moment ago shows up with the next scan; the app itself, when this call
    // just started it, installs in its first cycles.
    const QPointer<AppState> state = state_;
    QCoro::Task<> scanning = waitFor(
        state_.data(),
        [state, port] { return !state || (findRow(state->rows(), port) && state->configured()); },
        nextScanWait);
    co_await scanning;
    if (!state_)
        co_return failure(ControlFailure::failed, notMadeText);
    const PortRow* row = findRow(state_->rows(), port);
    if (!row)
        co_return failure(ControlFailure::portNotRunning, portNotRunningText);
    if (const std::optional<ControlError> error = cannotStart())
        co_return Outcome{{}, error};
    const QStringList before = hosts(state_->links());
    state_->share(*row);
    // The status line shows "Creating link…" now; a failure replaces it.
    const std::optional<QString> statusBefore = state_->statusMessage();
    QCoro::Task<> waiting = untilIdle();
    co_await waiting;
    co_return newLink(port, before, statusBefore);
}

QCoro::Task<LinkOperations::Outcome> LinkOperations::renew(QString host) {
    const ShareLink* link = findLink(state_->links(), host);
    if (!link)
        co_return failure(ControlFailure::unknownLink, QStringLiteral("No link %1").arg(host));
    if (const std::optional<ControlError> error = cannotStart())
        co_return Outcome{{}, error};
    const qint64 port = link->port;
    const QStringList before = hosts(state_->links());
    state_->refresh(*link);
    if (!state_->isBusy())
        co_return failure(ControlFailure::portNotRunning,
                          state_->statusMessage().value_or(portNotRunningText));
    const std::optional<QString> statusBefore = state_->statusMessage();
    QCoro::Task<> waiting = untilIdle();
    co_await waiting;
    co_return newLink(port, before, statusBefore);
}

QCoro::Task<LinkOperations::Outcome> LinkOperations::stop(QString host) {
    const ShareLink* link = findLink(state_->links(), host);
    if (!link)
        co_return failure(ControlFailure::unknownLink, QStringLiteral("No link %1").arg(host));
    if (state_->isBusy())
        co_return failure(ControlFailure::busy, busyText);
    const QString url = publicURL(link->host);
    const std::optional<QString> statusBefore = state_->statusMessage();
    state_->kill(*link);
    QCoro::Task<> waiting = untilIdle();
    co_await waiting;
    // The link is gone locally either way; a failure means the service hears of it later.
    if (state_ && state_->statusMessage() && state_->statusMessage() != statusBefore)
        co_return failure(ControlFailure::failed, *state_->statusMessage());
    co_return Outcome{url, std::nullopt};
}

QCoro::Task<LinkOperations::Outcome> LinkOperations::stopAll() {
    const QStringList all = hosts(state_->links());
    for (const QString& host : all) {
        // An operation the panel started finishes first.
        QCoro::Task<> waiting = untilIdle();
        co_await waiting;
        if (!state_)
            break;
        QCoro::Task<Outcome> stopping = stop(host);
        const Outcome outcome = co_await stopping;
        if (outcome.error && outcome.error->failure != ControlFailure::unknownLink)
            co_return outcome;
    }
    co_return Outcome{};
}
