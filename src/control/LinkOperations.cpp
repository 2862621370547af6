#include "control/LinkOperations.h"

#include "app/AppState.h"
#include "app/StatusTexts.h"
#include "control/StateWait.h"

#include <exception>

using namespace std::chrono_literals;

namespace {

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

// A copy: the operations publish new lists, which frees the records of the old one.
std::optional<ShareLink> findLink(const QList<ShareLink>& links, const QString& host) {
    for (const ShareLink& link : links) {
        if (link.host.compare(host, Qt::CaseInsensitive) == 0)
            return link;
    }
    return std::nullopt;
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

AppState& LinkOperations::state() const {
    AppState* const state = state_.data();
    if (state == nullptr)
        std::terminate();
    return *state;
}

std::optional<ControlError> LinkOperations::cannotStart() const {
    if (!state().configured())
        return ControlError{ControlFailure::notReady, StatusTexts::tunnelNotReady};
    if (state().isBusy())
        return ControlError{ControlFailure::busy, busyText};
    return std::nullopt;
}

QCoro::Task<> LinkOperations::untilIdle() const {
    const QPointer<AppState> watched = state_;
    QCoro::Task<> waiting = waitFor(
        state_.data(),
        [watched] {
            const AppState* const now = watched.data();
            return !now || !now->isBusy();
        },
        operationLimit);
    co_await waiting;
}

LinkOperations::Outcome LinkOperations::newLink(qint64 port, const QStringList& before,
                                                const std::optional<QString>& statusBefore) const {
    if (!state_)
        return failure(ControlFailure::failed, notMadeText);
    for (const ShareLink& link : state().links()) {
        if (link.port != port || before.contains(link.host))
            continue;
        const QString url = publicURL(link.host);
        if (!state().liveHosts().contains(link.host))
            return failure(ControlFailure::notAnswering,
                           QStringLiteral("No answer through %1 yet").arg(url));
        return {url, std::nullopt};
    }
    const std::optional<QString>& status = state().statusMessage();
    return failure(ControlFailure::failed,
                   status && status != statusBefore ? *status : notMadeText);
}

QCoro::Task<LinkOperations::Outcome> LinkOperations::share(qint64 port) {
    // An app started a moment ago shows up with the next scan; the app itself, when this call
    // just started it, installs in its first cycles.
    const QPointer<AppState> watched = state_;
    QCoro::Task<> scanning = waitFor(
        state_.data(),
        [watched, port] {
            const AppState* const now = watched.data();
            return !now || (findRow(now->rows(), port) && now->configured());
        },
        nextScanWait);
    co_await scanning;
    if (!state_)
        co_return failure(ControlFailure::failed, notMadeText);
    const PortRow* row = findRow(state().rows(), port);
    if (!row)
        co_return failure(ControlFailure::portNotRunning, StatusTexts::portNotRunning);
    if (const std::optional<ControlError> error = cannotStart())
        co_return Outcome{{}, error};
    const QStringList before = hosts(state().links());
    state().share(*row);
    // The status line shows "Creating link…" now; a failure replaces it.
    const std::optional<QString> statusBefore = state().statusMessage();
    QCoro::Task<> waiting = untilIdle();
    co_await waiting;
    co_return newLink(port, before, statusBefore);
}

QCoro::Task<LinkOperations::Outcome> LinkOperations::renew(QString host) {
    const std::optional<ShareLink> link = findLink(state().links(), host);
    if (!link)
        co_return failure(ControlFailure::unknownLink, QStringLiteral("No link %1").arg(host));
    if (const std::optional<ControlError> error = cannotStart())
        co_return Outcome{{}, error};
    const qint64 port = link->port;
    const QStringList before = hosts(state().links());
    state().refresh(*link);
    if (!state().isBusy())
        co_return failure(ControlFailure::portNotRunning,
                          state().statusMessage().value_or(StatusTexts::portNotRunning));
    const std::optional<QString> statusBefore = state().statusMessage();
    QCoro::Task<> waiting = untilIdle();
    co_await waiting;
    co_return newLink(port, before, statusBefore);
}

QCoro::Task<LinkOperations::Outcome> LinkOperations::stop(QString host) {
    const std::optional<ShareLink> link = findLink(state().links(), host);
    if (!link)
        co_return failure(ControlFailure::unknownLink, QStringLiteral("No link %1").arg(host));
    if (state().isBusy())
        co_return failure(ControlFailure::busy, busyText);
    const QString url = publicURL(link->host);
    const std::optional<QString> statusBefore = state().statusMessage();
    state().kill(*link);
    QCoro::Task<> waiting = untilIdle();
    co_await waiting;
    // The link is gone locally either way; a failure means the service hears of it later.
    if (state_ && state().statusMessage() && state().statusMessage() != statusBefore)
        co_return failure(ControlFailure::failed, *state().statusMessage());
    co_return Outcome{url, std::nullopt};
}

QCoro::Task<LinkOperations::Outcome> LinkOperations::stopAll() {
    const QStringList all = hosts(state().links());
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
