#pragma once

#include "history/RecordedRequest.h"

#include <QWidget>

// A request's steps as one bar: waiting for the head, connecting to the app, waiting for its
// first byte, receiving the rest.
class TimingBar : public QWidget {
    Q_OBJECT
public:
    explicit TimingBar(QWidget* parent = nullptr);
    void show(const RecordedRequest& request);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    RecordedRequest request_;
};
