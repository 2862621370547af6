#pragma once

#include <QImage>
#include <QString>
#include <optional>

// One local web app found by a scan. Its identity is its port.
struct PortRow {
    qint64 port = 0;
    qint64 pid = 0;
    QString label;
    std::optional<QString> framework;
    std::optional<QString> title;
    std::optional<QImage> icon;

    // The label's text before the first middle dot, trimmed: the project the app belongs to.
    QString project() const;

    friend bool operator==(const PortRow&, const PortRow&) = default;
};
