#pragma once

#include <QByteArray>
#include <QString>

// The router's own plain-text answers, for requests it cannot forward.
namespace Reply {

// The exact bytes of the answer: status line, three headers, a blank line and the body.
QByteArray bytes(int status, const QString& body);

} // namespace Reply
