#include "history/window/RequestsModel.h"

#include <QDateTime>
#include <QLocale>
#include <QSqlQuery>

using namespace Qt::Literals::StringLiterals;

RequestsModel::RequestsModel(const QSqlDatabase& db, int page, QObject* parent)
    : QAbstractTableModel(parent), db_(db), page_(page) {
    setFilter({});
}

std::vector<RequestsModel::Row>
RequestsModel::query(const QString& range, const QVariantList& rangeBinds, bool newestFirst) const {
    QVariantList binds;
    const QString condition = filter_.condition(binds);
    QSqlQuery q(db_);
    q.prepare(u"SELECT id, accepted_ms, link, method, target, status, done_us,"
              u" response_body_size, visitor, replay_of FROM requests WHERE ("_s +
              condition + u") AND "_s + range + u" ORDER BY id "_s +
              (newestFirst ? u"DESC"_s : u"ASC"_s) + u" LIMIT "_s + QString::number(page_));
    for (const QVariant& value : binds + rangeBinds)
        q.addBindValue(value);
    std::vector<Row> rows;
    if (!q.exec())
        return rows;
    while (q.next()) {
        rows.push_back({q.value(0).toLongLong(), q.value(1).toLongLong(), q.value(2).toString(),
                        q.value(3).toString(), q.value(4).toString(), q.value(5).toInt(),
                        q.value(6).toLongLong(), q.value(7).toLongLong(), q.value(8).toString(),
                        q.value(9).toLongLong()});
    }
    return rows;
}

void RequestsModel::setFilter(const RequestFilter& filter) {
    beginResetModel();
    filter_ = filter;
    rows_ = query(u"1"_s, {}, true);
    exhausted_ = std::ssize(rows_) < page_;
    endResetModel();
}

void RequestsModel::refresh() {
    // Entries evicted or cleared meanwhile: start over.
    if (!rows_.empty()) {
        QSqlQuery q(db_);
        q.prepare(u"SELECT COUNT(*) FROM requests WHERE id = ?"_s);
        q.addBindValue(rows_.back().id);
        if (q.exec() && q.next() && q.value(0).toLongLong() == 0) {
            setFilter(filter_);
            return;
        }
    }
    // Oldest first, a page at a time, so a burst larger than a page leaves no gap.
    for (;;) {
        const qint64 newest = rows_.empty() ? 0 : rows_.front().id;
        const std::vector<Row> fresh = query(u"id > ?"_s, {newest}, false);
        if (fresh.empty())
            return;
        beginInsertRows({}, 0, int(fresh.size()) - 1);
        rows_.insert(rows_.begin(), fresh.rbegin(), fresh.rend());
        endInsertRows();
        if (std::ssize(fresh) < page_)
            return;
    }
}

qint64 RequestsModel::idAt(int row) const {
    return row >= 0 && row < int(rows_.size()) ? rows_[size_t(row)].id : 0;
}

int RequestsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int RequestsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Column::columns;
}

QVariant RequestsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(rows_.size()))
        return {};
    const Row& row = rows_[size_t(index.row())];
    if (role == Qt::TextAlignmentRole &&
        (index.column() == statusColumn || index.column() == durationColumn ||
         index.column() == sizeColumn))
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case timeColumn:
        return QDateTime::fromMSecsSinceEpoch(row.acceptedMs).toString(u"HH:mm:ss.zzz"_s);
    case linkColumn:
        return row.link;
    case methodColumn:
        return row.replayOf ? row.method + u" ↻"_s : row.method;
    case pathColumn:
        return row.target;
    case statusColumn:
        return row.status ? QVariant(row.status) : QVariant(u"—"_s);
    case durationColumn:
        return row.doneUs < 0 ? u"—"_s
                              : QStringLiteral("%1 ms").arg(double(row.doneUs) / 1000.0, 0, 'f', 1);
    case sizeColumn:
        return QLocale().formattedDataSize(row.size, 1, QLocale::DataSizeTraditionalFormat);
    case visitorColumn:
        return row.visitor;
    default:
        return {};
    }
}

QVariant RequestsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const titles[] = {"Time",   "Link",     "Method", "Path",
                                         "Status", "Duration", "Size",   "Visitor"};
    return section >= 0 && section < columnCount() ? QString::fromLatin1(titles[section])
                                                   : QVariant();
}

bool RequestsModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !exhausted_ && !rows_.empty();
}

void RequestsModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent))
        return;
    std::vector<Row> older = query(u"id < ?"_s, {rows_.back().id}, true);
    exhausted_ = std::ssize(older) < page_;
    if (older.empty())
        return;
    const int first = int(rows_.size());
    beginInsertRows({}, first, first + int(older.size()) - 1);
    rows_.insert(rows_.end(), older.begin(), older.end());
    endInsertRows();
}
