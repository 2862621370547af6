#include "history/window/EditReplay.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>

using namespace Qt::Literals::StringLiterals;

EditReplay::EditReplay(const Replay::Edit& edit, QWidget* parent)
    : QDialog(parent), original_(edit), method_(new QLineEdit(QString::fromLatin1(edit.method))),
      target_(new QLineEdit(QString::fromUtf8(edit.target))), headers_(new QPlainTextEdit),
      body_(new QPlainTextEdit) {
    setWindowTitle(u"Edit and replay"_s);
    QStringList lines;
    for (const auto& [name, value] : edit.fields) {
        // The length follows the edited body.
        if (name.compare("content-length", Qt::CaseInsensitive) != 0)
            lines << QString::fromUtf8(name + ": " + value);
    }
    headers_->setPlainText(lines.join(u'\n'));
    body_->setPlainText(QString::fromUtf8(edit.body));
    for (QPlainTextEdit* view : {headers_, body_})
        view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* form = new QFormLayout(this);
    form->addRow(u"Method"_s, method_);
    form->addRow(u"Path"_s, target_);
    form->addRow(u"Headers"_s, headers_);
    form->addRow(u"Body"_s, body_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    buttons->addButton(u"Send"_s, QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
    resize(720, 560);
}

Replay::Edit EditReplay::edited() const {
    Replay::Edit edit = original_;
    edit.method = method_->text().trimmed().toLatin1();
    edit.target = target_->text().trimmed().toUtf8();
    edit.fields.clear();
    for (const QString& line : headers_->toPlainText().split(u'\n')) {
        const qsizetype colon = line.indexOf(u':');
        if (colon <= 0)
            continue;
        edit.fields.append(
            {line.first(colon).trimmed().toUtf8(), line.sliced(colon + 1).trimmed().toUtf8()});
    }
    edit.body = body_->toPlainText().toUtf8();
    return edit;
}
