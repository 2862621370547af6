#pragma once

#include "discovery/PortRow.h"

#include <QList>
#include <QString>
#include <optional>
#include <utility>

// Finds the web apps running on this machine. Every function blocks and belongs on a background
// thread; `scan` must not run twice at once (its caches have no lock).
namespace PortScanner {

struct Listener {
    qint64 pid = 0;
    qint64 port = 0;
    // The process's command name as the listing gives it; empty when it gives none.
    QString command;
    friend bool operator==(const Listener&, const Listener&) = default;
};

// The rows of one scan and the whole listing they were made from, reserved ports included.
struct ScanResult {
    // Rows alone make a result with an empty listing.
    ScanResult(QList<PortRow> scannedRows = {}, QList<Listener> scannedListing = {})
        : rows(std::move(scannedRows)), listing(std::move(scannedListing)) {}
    QList<PortRow> rows;
    QList<Listener> listing;
};

inline constexpr double toolTimeout = 5.0;
inline constexpr qsizetype maxRows = 12;

// 0 to 12 rows, one per project; absent when the port listing is unavailable.
std::optional<QList<PortRow>> scan();
// The same scan with the listing it read.
std::optional<ScanResult> scanWithListing();

std::optional<QList<Listener>> listenPorts();
std::optional<QString> cwdBasename(qint64 pid);
std::optional<QString> framework(const QString& from, qint64 port);

// The pure steps of the above, exposed for their tables of cases.
QList<Listener> parseListenPorts(const QString& output);
std::optional<QString> parseCwdBasename(const QString& output);
bool isCandidatePort(qint64 port);
qint64 score(const PortRow& row);
// One row per project by score (ties keep the earlier row), highest pid first, at most 12.
QList<PortRow> selectRows(const QList<PortRow>& rows);

} // namespace PortScanner
