#pragma once

#include "history/window/RequestFilter.h"

#include <QAbstractTableModel>
#include <QSqlDatabase>
#include <vector>

// The history's list, newest first, read page by page as the view scrolls, so a history of
// any length opens at once; `refresh` puts entries stored since at the top.
class RequestsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int pageSize = 256;
    enum Column {
        timeColumn,
        linkColumn,
        methodColumn,
        pathColumn,
        statusColumn,
        durationColumn,
        sizeColumn,
        visitorColumn,
        columns
    };

    explicit RequestsModel(const QSqlDatabase& db, int page = pageSize, QObject* parent = nullptr);

    void setFilter(const RequestFilter& filter);
    // Adds the entries stored since the last look, and drops those the history no longer has.
    void refresh();
    qint64 idAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    struct Row {
        qint64 id = 0;
        qint64 acceptedMs = 0;
        QString link;
        QString method;
        QString target;
        int status = 0;
        qint64 doneUs = -1;
        qint64 size = 0;
        QString visitor;
        qint64 replayOf = 0;
    };
    std::vector<Row> query(const QString& range, const QVariantList& rangeBinds,
                           bool newestFirst) const;

    QSqlDatabase db_;
    const int page_;
    RequestFilter filter_;
    std::vector<Row> rows_;
    bool exhausted_ = false;
};
