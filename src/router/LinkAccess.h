#pragma once

#include <QString>

// A link whose visitors need a passphrase, as the router is told of it.
struct LinkAccess {
    QString host;
    QString passphrase;
    // Named on the login page, so visitors know what they are asked into.
    QString project;

    friend bool operator==(const LinkAccess&, const LinkAccess&) = default;
};
