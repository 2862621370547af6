#pragma once

#include "history/RecordedRequest.h"

#include <QString>

// A shell command that sends a recorded request again to its public address with curl.
namespace CurlCommand {

// `body` is the request body's kept bytes. The router's own lines (Host, Connection) are left
// to curl.
QString of(const RecordedRequest& request, const QByteArray& body);

} // namespace CurlCommand
