#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// This machine's registration at the link service, kept in install.json.
struct Install {
    QString installId;
    // The bearer secret; the install answer calls it "installToken".
    QString token;
    // Names the tunnel and its credentials file (tunnelId + ".json").
    QString tunnelId;
    QString domain;

    // One compact JSON object with exactly the four members.
    QByteArray toJson() const;
    // Nothing when the bytes are not an object holding the four members as strings; other
    // members are ignored.
    static std::optional<Install> fromJson(const QByteArray& bytes);

    bool operator==(const Install&) const = default;
};
