#pragma once

#include "history/Replay.h"

#include <QDialog>
#include <optional>

class QLineEdit;
class QPlainTextEdit;

// The request's method, path, header lines and body, to change before it is sent again.
class EditReplay : public QDialog {
    Q_OBJECT
public:
    EditReplay(const Replay::Edit& edit, QWidget* parent = nullptr);
    // The edited request; header lines without a colon are left out.
    Replay::Edit edited() const;

private:
    Replay::Edit original_;
    QLineEdit* method_;
    QLineEdit* target_;
    QPlainTextEdit* headers_;
    QPlainTextEdit* body_;
};
