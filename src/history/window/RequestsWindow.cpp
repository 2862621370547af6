#include "history/window/RequestsWindow.h"

#include "history/CurlCommand.h"
#include "history/HarExport.h"
#include "history/Replay.h"
#include "history/RequestHistory.h"
#include "history/window/BodyPresentation.h"
#include "history/window/CompareView.h"
#include "history/window/EditReplay.h"
#include "history/window/RequestDetail.h"
#include "history/window/RequestsModel.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSaveFile>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QToolBar>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace {

const QStringList methods = {u"GET"_s,    u"POST"_s, u"PUT"_s,    u"PATCH"_s,
                             u"DELETE"_s, u"HEAD"_s, u"OPTIONS"_s};

QString responseText(const HistoryReader& reader, const RecordedRequest& r) {
    const BodyPresentation body =
        BodyPresentation::of(HttpHeads::parse(r.responseHead), reader.bodyBytes(r.responseBody));
    return QString::fromUtf8(r.responseHead).trimmed() + u"\n\n"_s + body.text;
}

} // namespace

RequestsWindow::RequestsWindow(RequestHistory& history, QWidget* parent)
    : QMainWindow(parent), history_(history), reader_(history.directory()) {
    setWindowTitle(u"Requests"_s);
    setObjectName(u"requestsWindow"_s);
    reader_.open();
    model_ = new RequestsModel(reader_.database(), RequestsModel::pageSize, this);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(buildFilterBar());
    auto* splitter = new QSplitter(Qt::Vertical, central);
    table_ = new QTableView(splitter);
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setSectionResizeMode(RequestsModel::pathColumn,
                                                     QHeaderView::Stretch);
    table_->setShowGrid(false);
    table_->setAlternatingRowColors(true);
    detail_ = new RequestDetail(reader_, splitter);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    layout->addWidget(splitter, 1);
    setCentralWidget(central);
    buildActions();

    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &RequestsWindow::showSelected);
    connect(&refresh_, &QTimer::timeout, this, [this] {
        model_->refresh();
        updateStatus();
    });
    refresh_.start(refreshIntervalMs);
    updateStatus();
    resize(1200, 800);
}

// The list's queries go before the reader's connection does.
RequestsWindow::~RequestsWindow() {
    table_->setModel(nullptr);
    delete model_;
}

QWidget* RequestsWindow::buildFilterBar() {
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    text_ = new QLineEdit(bar);
    text_->setPlaceholderText(u"Search path, headers and bodies"_s);
    text_->setClearButtonEnabled(true);
    method_ = new QComboBox(bar);
    method_->addItem(u"Any method"_s);
    method_->addItems(methods);
    status_ = new QComboBox(bar);
    status_->addItems({u"Any status"_s, u"1xx"_s, u"2xx"_s, u"3xx"_s, u"4xx"_s, u"5xx"_s});
    link_ = new QLineEdit(bar);
    link_->setPlaceholderText(u"Link"_s);
    visitor_ = new QLineEdit(bar);
    visitor_->setPlaceholderText(u"Visitor"_s);
    row->addWidget(text_, 3);
    row->addWidget(method_);
    row->addWidget(status_);
    row->addWidget(link_, 1);
    row->addWidget(visitor_, 1);
    for (QLineEdit* edit : {text_, link_, visitor_})
        connect(edit, &QLineEdit::textChanged, this, &RequestsWindow::applyFilter);
    for (QComboBox* box : {method_, status_})
        connect(box, &QComboBox::currentIndexChanged, this, &RequestsWindow::applyFilter);
    return bar;
}

void RequestsWindow::buildActions() {
    QToolBar* tools = addToolBar(u"Requests"_s);
    tools->setMovable(false);
    QAction* pause = tools->addAction(u"Pause capture"_s);
    pause->setCheckable(true);
    pause->setChecked(history_.queue()->paused());
    connect(pause, &QAction::toggled, this, [this](bool on) {
        history_.queue()->setPaused(on);
        updateStatus();
    });
    connect(tools->addAction(u"Clear history"_s), &QAction::triggered, this,
            &RequestsWindow::clearHistory);
    tools->addSeparator();
    connect(tools->addAction(u"Replay"_s), &QAction::triggered, this,
            [this] { replaySelected(false); });
    connect(tools->addAction(u"Edit and replay…"_s), &QAction::triggered, this,
            [this] { replaySelected(true); });
    connect(tools->addAction(u"Compare"_s), &QAction::triggered, this,
            &RequestsWindow::compareSelected);
    tools->addSeparator();
    connect(tools->addAction(u"Copy as cURL"_s), &QAction::triggered, this,
            &RequestsWindow::copyCurl);
    connect(tools->addAction(u"Save selected as HAR…"_s), &QAction::triggered, this,
            [this] { exportHar(false); });
    connect(tools->addAction(u"Save all as HAR…"_s), &QAction::triggered, this,
            [this] { exportHar(true); });
    redact_ = tools->addAction(u"Redact secrets"_s);
    redact_->setCheckable(true);
    redact_->setChecked(true);
    redact_->setToolTip(u"Leave Authorization, Cookie and Set-Cookie out of saved HAR files"_s);
}

void RequestsWindow::applyFilter() {
    RequestFilter filter;
    filter.text = text_->text();
    filter.method = method_->currentIndex() > 0 ? method_->currentText() : QString();
    filter.statusClass = status_->currentIndex();
    filter.link = link_->text();
    filter.visitor = visitor_->text();
    model_->setFilter(filter);
    detail_->clear();
}

std::optional<RecordedRequest> RequestsWindow::selected() {
    const QModelIndex current = table_->currentIndex();
    if (!current.isValid())
        return std::nullopt;
    return reader_.entry(model_->idAt(current.row()));
}

QList<RecordedRequest> RequestsWindow::selectedAll() {
    QList<RecordedRequest> list;
    QModelIndexList rows = table_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() > b.row(); });
    for (const QModelIndex& index : rows) {
        if (auto entry = reader_.entry(model_->idAt(index.row())))
            list.append(*entry);
    }
    return list;
}

void RequestsWindow::showSelected() {
    if (const auto entry = selected())
        detail_->show(*entry);
}

void RequestsWindow::replaySelected(bool edit) {
    const auto entry = selected();
    if (!entry)
        return;
    QByteArray bytes;
    if (edit) {
        EditReplay dialog(Replay::editable(*entry, reader_.bodyBytes(entry->requestBody)), this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        bytes = Replay::editedBytes(dialog.edited());
    } else {
        const auto original = Replay::originalBytes(*entry, reader_);
        if (!original) {
            QMessageBox::information(this, u"Replay"_s,
                                     u"The request's body was not kept whole, so it cannot be "
                                     u"sent again byte for byte."_s);
            return;
        }
        bytes = *original;
    }
    auto* sender = new ReplaySender(*entry, bytes, history_.queue(), this);
    sender->start();
}

void RequestsWindow::compareSelected() {
    const auto entry = selected();
    if (!entry)
        return;
    std::optional<RecordedRequest> original;
    std::optional<RecordedRequest> replay;
    if (entry->replayOf) {
        replay = entry;
        original = reader_.entry(entry->replayOf);
    } else {
        original = entry;
        QSqlQuery q(reader_.database());
        q.prepare(u"SELECT MAX(id) FROM requests WHERE replay_of = ?"_s);
        q.addBindValue(entry->id);
        if (q.exec() && q.next() && !q.value(0).isNull())
            replay = reader_.entry(q.value(0).toLongLong());
    }
    if (!original || !replay) {
        QMessageBox::information(this, u"Compare"_s,
                                 u"Select a replay, or a request that has been replayed."_s);
        return;
    }
    CompareView view(
        QStringLiteral("Original (entry %1)").arg(original->id), responseText(reader_, *original),
        QStringLiteral("Replay (entry %1)").arg(replay->id), responseText(reader_, *replay), this);
    view.exec();
}

void RequestsWindow::copyCurl() {
    if (const auto entry = selected())
        QApplication::clipboard()->setText(
            CurlCommand::of(*entry, reader_.bodyBytes(entry->requestBody)));
}

void RequestsWindow::exportHar(bool all) {
    QList<RecordedRequest> entries;
    if (all) {
        for (qint64 id : reader_.ids()) {
            if (auto entry = reader_.entry(id))
                entries.append(*entry);
        }
    } else {
        entries = selectedAll();
    }
    if (entries.isEmpty())
        return;
    const QString path = QFileDialog::getSaveFileName(this, u"Save as HAR"_s, u"requests.har"_s,
                                                      u"HAR files (*.har)"_s);
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(HarExport::bytes(entries,
                                [this](const StoredBody& body) { return reader_.bodyBytes(body); },
                                {redact_->isChecked(), QApplication::applicationVersion()}));
    file.commit();
}

void RequestsWindow::clearHistory() {
    if (QMessageBox::question(this, u"Clear history"_s,
                              u"Remove every recorded request and its bodies?"_s) !=
        QMessageBox::Yes)
        return;
    history_.writer().clear().wait();
    model_->setFilter({});
    detail_->clear();
    updateStatus();
}

void RequestsWindow::updateStatus() {
    QString text = QStringLiteral("%1 requests").arg(reader_.count());
    const qint64 dropped = history_.queue()->droppedRequests();
    if (dropped > 0)
        text += QStringLiteral(" · %1 not recorded while the history was behind").arg(dropped);
    if (history_.queue()->paused())
        text += u" · capture paused"_s;
    statusBar()->showMessage(text);
}
