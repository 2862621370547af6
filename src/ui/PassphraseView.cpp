#include "ui/PassphraseView.h"

#include "app/Passphrase.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

PassphraseView::PassphraseView(const ShareLink& link, const std::optional<QString>& current,
                               const Actions& actions, QWidget* parent)
    : QWidget(parent, Qt::Window),
      field_(new QLineEdit(current.value_or(Passphrase::generate()), this)) {
    setWindowTitle(QStringLiteral("Passphrase"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    auto* intro =
        new QLabel(QStringLiteral("Visitors of %1 need this passphrase. It is copied with the URL.")
                       .arg(link.host),
                   this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    field_->setObjectName(QStringLiteral("passphraseField"));
    field_->setAccessibleName(QStringLiteral("Passphrase"));
    field_->selectAll();
    layout->addWidget(field_);

    auto* buttons = new QHBoxLayout;
    auto* another = new QPushButton(QStringLiteral("Another"), this);
    another->setObjectName(QStringLiteral("passphraseAnother"));
    connect(another, &QPushButton::clicked, this,
            [this] { field_->setText(Passphrase::generate()); });
    buttons->addWidget(another);
    buttons->addStretch();
    if (current) {
        auto* remove = new QPushButton(QStringLiteral("Remove"), this);
        remove->setObjectName(QStringLiteral("passphraseRemove"));
        connect(remove, &QPushButton::clicked, this, [this, link, actions] {
            if (actions.unprotect)
                actions.unprotect(link);
            close();
        });
        buttons->addWidget(remove);
    }
    auto* set = new QPushButton(current ? QStringLiteral("Save") : QStringLiteral("Protect"), this);
    set->setObjectName(QStringLiteral("passphraseSet"));
    set->setDefault(true);
    connect(field_, &QLineEdit::textChanged, set,
            [set](const QString& text) { set->setEnabled(!text.trimmed().isEmpty()); });
    connect(set, &QPushButton::clicked, this, [this, link, actions] {
        if (actions.protect)
            actions.protect(link, passphrase());
        close();
    });
    buttons->addWidget(set);
    layout->addLayout(buttons);
}

QString PassphraseView::passphrase() const {
    return field_->text().trimmed();
}
