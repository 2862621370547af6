#include "app/AppState.h"
#include "platform/Clipboard.h"
#include "router/LinkRouter.h"

std::optional<QString> AppState::passphrase(const ShareLink& link) {
    return passphrases_.of(link.host);
}

void AppState::protect(const ShareLink& link, const QString& passphrase) {
    const QString trimmed = passphrase.trimmed();
    if (trimmed.isEmpty())
        return;
    passphrases_.set(link.host, trimmed);
    pushAccess();
    putOnClipboard(publicURL(link.host) + QStringLiteral("\nPassphrase: ") + trimmed);
    publish(copiedHost_, link.host);
    startDetached(forgetCopied(link.host), "copy");
}

void AppState::unprotect(const ShareLink& link) {
    passphrases_.remove(link.host);
    pushAccess();
    Q_EMIT changed();
}

void AppState::pushAccess() {
    QList<LinkAccess> access;
    for (const ShareLink& link : links_) {
        if (const std::optional<QString> passphrase = passphrases_.of(link.host))
            access.append(LinkAccess{link.host, *passphrase, link.project});
    }
    // No key is made, and no file written, while no link has a passphrase.
    linkRouter().setAccess(access.isEmpty() ? QByteArray() : passphrases_.cookieKey(), access);
}
