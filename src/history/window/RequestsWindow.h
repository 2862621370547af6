#pragma once

#include "history/HistoryReader.h"

#include <QMainWindow>
#include <QTimer>
#include <optional>

class RequestHistory;
class QAction;
class QComboBox;
class QLineEdit;
class QTableView;
class RequestDetail;
class RequestsModel;

// "Requests": every recorded request of every link, newest first, with a filter bar, the
// selected entry in full, and replay, compare and export.
class RequestsWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int refreshIntervalMs = 500;

    explicit RequestsWindow(RequestHistory& history, QWidget* parent = nullptr);
    ~RequestsWindow() override;

private:
    QWidget* buildFilterBar();
    void buildActions();
    void applyFilter();
    void showSelected();
    std::optional<RecordedRequest> selected();
    QList<RecordedRequest> selectedAll();
    void replaySelected(bool edit);
    void compareSelected();
    void copyCurl();
    void exportHar(bool all);
    void clearHistory();
    void updateStatus();

    RequestHistory& history_;
    HistoryReader reader_;
    RequestsModel* model_ = nullptr;
    QTableView* table_ = nullptr;
    RequestDetail* detail_ = nullptr;
    QLineEdit* text_ = nullptr;
    QComboBox* method_ = nullptr;
    QComboBox* status_ = nullptr;
    QLineEdit* link_ = nullptr;
    QLineEdit* visitor_ = nullptr;
    QAction* redact_ = nullptr;
    QTimer refresh_{this};
};
