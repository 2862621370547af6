#pragma once

#include "history/RecordedRequest.h"

#include <QWidget>

class HistoryReader;
class QLabel;
class QPlainTextEdit;
class QStackedWidget;
class QTabWidget;
class QTreeWidget;
class TimingBar;

// One entry in full: request and response with their heads and bodies, the WebSocket messages
// of an upgraded connection, and the timings.
class RequestDetail : public QWidget {
    Q_OBJECT
public:
    RequestDetail(const HistoryReader& reader, QWidget* parent = nullptr);
    void show(const RecordedRequest& request);
    void clear();

private:
    struct Side {
        QPlainTextEdit* head = nullptr;
        QLabel* note = nullptr;
        QStackedWidget* body = nullptr;
        QPlainTextEdit* text = nullptr;
        QLabel* image = nullptr;
    };
    Side makeSide(const QString& title);
    void showSide(Side& side, const QByteArray& head, const StoredBody& body);

    const HistoryReader& reader_;
    QLabel* summary_;
    QTabWidget* tabs_;
    Side request_;
    Side response_;
    QTreeWidget* messages_;
    TimingBar* timing_;
    QLabel* timingText_;
};
