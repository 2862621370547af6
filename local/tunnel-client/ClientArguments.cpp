#include "tunnel-client/ClientArguments.h"

namespace {

constexpr char usage[] =
    "Usage: cloudflared tunnel --config PATH --no-autoupdate run\n"
    "\n"
    "Local tunnel client. Reads PATH (JSON: \"tunnel\", \"credentials-file\", \"metrics\",\n"
    "\"ingress\" with one catch-all rule {\"service\": \"http://HOST:PORT\"}) and the credentials\n"
    "file, both relative to the working directory; holds the named tunnel open to the edge\n"
    "named by the credentials, reconnecting with back-off; serves GET /ready on the metrics\n"
    "address (200 while connected, 503 before); passes every request of the tunnel, upgraded\n"
    "connections included, to the ingress service. Stops on SIGTERM or SIGINT.\n";

} // namespace

ClientArguments parseClientArguments(const QStringList& arguments) {
    const QStringList args = arguments.mid(1);
    ClientArguments result;
    if (args.size() == 1 &&
        (args[0] == QStringLiteral("--help") || args[0] == QStringLiteral("-h"))) {
        result.message = QString::fromLatin1(usage);
        return result;
    }
    if (args.size() == 5 && args[0] == QStringLiteral("tunnel") &&
        args[1] == QStringLiteral("--config") && !args[2].isEmpty() &&
        args[3] == QStringLiteral("--no-autoupdate") && args[4] == QStringLiteral("run")) {
        result.configPath = args[2];
        return result;
    }
    result.message = QStringLiteral("cloudflared: unsupported command line: %1\n\n%2")
                         .arg(args.join(QLatin1Char(' ')), QString::fromLatin1(usage));
    result.exitCode = 2;
    return result;
}
