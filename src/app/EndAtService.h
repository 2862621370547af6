#pragma once

#include "service/Provisioner.h"

#include <QCoroTask>
#include <QString>

// Ends a link at the service. A link the service no longer knows (404) counts as ended: it
// expired or was ended before, and asking again could never succeed. Other failures are thrown
// as `Provisioner::kill` throws them.
QCoro::Task<> endAtService(Provisioner provisioner, QString host, CancelToken cancel);
