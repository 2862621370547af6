#include "platform/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace {

QClipboard* clipboard() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
        return nullptr;
    return QGuiApplication::clipboard();
}

} // namespace

bool putOnClipboard(const QString& text) {
    QClipboard* board = clipboard();
    if (board == nullptr)
        return false;
    board->setText(text, QClipboard::Clipboard);
    return true;
}

QString clipboardText() {
    QClipboard* board = clipboard();
    return board == nullptr ? QString() : board->text(QClipboard::Clipboard);
}
