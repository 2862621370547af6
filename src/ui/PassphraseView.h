#pragma once

#include "app/ShareLink.h"

#include <QWidget>
#include <functional>
#include <optional>

class QLineEdit;

// Sets, changes or removes a link's passphrase. Opens with the current passphrase, or with a new
// one of common words that the user may replace by typing another.
class PassphraseView : public QWidget {
public:
    struct Actions {
        std::function<void(const ShareLink&, const QString&)> protect;
        std::function<void(const ShareLink&)> unprotect;
    };

    PassphraseView(const ShareLink& link, const std::optional<QString>& current,
                   const Actions& actions, QWidget* parent = nullptr);
    QString passphrase() const;

private:
    QLineEdit* field_;
};
