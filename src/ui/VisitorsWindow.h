#pragma once

#include "router/VisitorDetail.h"

#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <functional>

// Who is looking at one link: its visitors of the last hour, the latest first, with address,
// browser and device, first and last visit, last path and number of requests. Kept up to date
// while it is open.
class VisitorsWindow : public QWidget {
public:
    using Source = std::function<QList<VisitorDetail>()>;
    static constexpr std::chrono::milliseconds refreshInterval{2000};

    VisitorsWindow(const QString& title, Source source, QWidget* parent = nullptr);

    // Reads the visitors again now.
    void refresh();
    const QTreeWidget& table() const { return *table_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    Source source_;
    QTreeWidget* table_;
    QTimer timer_;
};

// Opens a link's visitors when the visitors line of its row is clicked. Watches the whole app,
// since rows come and go: the line is the label named "visitors:" followed by the host.
class VisitorsLineClicks : public QObject {
public:
    explicit VisitorsLineClicks(std::function<void(const QString& host)> open);
    ~VisitorsLineClicks() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(const QString& host)> open_;
};
