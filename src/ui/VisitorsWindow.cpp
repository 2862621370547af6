#include "ui/VisitorsWindow.h"

#include "ui/BrowserName.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace {

const QString linePrefix = QStringLiteral("visitors:");
constexpr int initialWidth = 720;
constexpr int initialHeight = 260;

QString timeOfDay(const QDateTime& when) {
    return when.toLocalTime().toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

VisitorsWindow::VisitorsWindow(const QString& title, Source source, QWidget* parent)
    : QWidget(parent, Qt::Window), source_(std::move(source)), table_(new QTreeWidget(this)) {
    setWindowTitle(title);
    table_->setRootIsDecorated(false);
    table_->setHeaderLabels({QStringLiteral("Address"), QStringLiteral("Browser"),
                             QStringLiteral("First seen"), QStringLiteral("Last seen"),
                             QStringLiteral("Last path"), QStringLiteral("Requests")});
    table_->header()->setStretchLastSection(false);
    table_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    resize(initialWidth, initialHeight);
    connect(&timer_, &QTimer::timeout, this, &VisitorsWindow::refresh);
    timer_.setInterval(refreshInterval);
}

void VisitorsWindow::refresh() {
    const QList<VisitorDetail> visitors = source_();
    table_->clear();
    for (const VisitorDetail& visitor : visitors) {
        auto* item = new QTreeWidgetItem({visitor.address, browserName(visitor.userAgent),
                                          timeOfDay(visitor.firstSeen), timeOfDay(visitor.lastSeen),
                                          visitor.lastPath, QString::number(visitor.requests)});
        item->setToolTip(1, visitor.userAgent);
        table_->addTopLevelItem(item);
    }
}

void VisitorsWindow::showEvent(QShowEvent* event) {
    refresh();
    timer_.start();
    QWidget::showEvent(event);
}

void VisitorsWindow::hideEvent(QHideEvent* event) {
    timer_.stop();
    QWidget::hideEvent(event);
}

VisitorsLineClicks::VisitorsLineClicks(std::function<void(const QString& host)> open)
    : open_(std::move(open)) {
    qApp->installEventFilter(this);
}

VisitorsLineClicks::~VisitorsLineClicks() {
    qApp->removeEventFilter(this);
}

bool VisitorsLineClicks::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonRelease && type != QEvent::Enter)
        return false;
    const QString name = watched->objectName();
    if (!name.startsWith(linePrefix))
        return false;
    auto* line = qobject_cast<QWidget*>(watched);
    if (!line)
        return false;
    if (type == QEvent::Enter) {
        line->setCursor(Qt::PointingHandCursor);
        return false;
    }
    if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
        return false;
    open_(name.mid(linePrefix.size()));
    return true;
}
