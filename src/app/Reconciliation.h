#pragma once

#include "app/ShareLink.h"
#include "service/RemoteLink.h"

#include <QList>
#include <QStringList>

// The local links merged with the service's list of them.
struct Reconciliation {
    // The local links the service still holds, in local order, with the service's expiry (their
    // own when the service's is no instant).
    QList<ShareLink> kept;
    // Hosts the service holds that no kept link has, in the service's order: to be ended there.
    QStringList orphans;

    // Links are matched by host. A local link the service does not list is dropped without a
    // word to the service; one without a project cannot be shown or routed properly, so it is
    // dropped too and its remote counterpart becomes an orphan.
    static Reconciliation merge(const QList<ShareLink>& local, const QList<RemoteLink>& remote);
};
