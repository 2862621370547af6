#pragma once

#include <QDialog>

// A replay's response beside the original's, line by line, the lines only one of them has
// marked.
class CompareView : public QDialog {
    Q_OBJECT
public:
    CompareView(const QString& originalTitle, const QString& original, const QString& replayTitle,
                const QString& replay, QWidget* parent = nullptr);
};
