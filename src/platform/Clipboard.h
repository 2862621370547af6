#pragma once

#include <QString>

// Replaces the desktop clipboard's content with plain text. False when the process has no
// desktop session to hold a clipboard (no GUI application object).
bool putOnClipboard(const QString& text);

// The clipboard's plain text, or an empty text without a desktop session.
QString clipboardText();
