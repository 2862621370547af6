#pragma once

#include <QByteArray>
#include <QString>

// A body as the history keeps it: inline when small, else the name of its file beside the
// database. `kept` can be less than `size` ("kept N of M bytes").
struct StoredBody {
    QByteArray bytes;
    QString file;
    qint64 size = 0;
    qint64 kept = 0;

    bool truncated() const { return kept < size; }
};
