#include "app/EndAtService.h"

#include "platform/StateLog.h"
#include "service/ProvisionError.h"

namespace {

// The service's answer for a host it holds no link for.
constexpr qint64 noSuchLinkStatus = 404;

bool linkAlreadyGone(const ProvisionError& error) {
    return error.kind() == ProvisionError::Kind::api && error.status() == noSuchLinkStatus;
}

} // namespace

QCoro::Task<> endAtService(Provisioner provisioner, QString host, CancelToken cancel) {
    try {
        QCoro::Task<> ending = provisioner.kill(host, std::move(cancel));
        co_await ending;
    } catch (const ProvisionError& error) {
        if (!linkAlreadyGone(error))
            throw;
        qCInfo(stateLog, "Link %s was already ended at the service", qUtf8Printable(host));
    }
}
