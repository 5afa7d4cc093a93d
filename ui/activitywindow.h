#pragma once

#include <QDateTime>
#include <QWidget>

#include <cstdint>
#include <memory>

class QAction;
class QComboBox;
class QLabel;
class QSortFilterProxyModel;
class QTableView;
class QTimer;
class SessionStore;

namespace ActivityWindowDetail {
class ActivityModel;
}

// What became of the day's signals, orders, fills, reports and connections, read from the
// session store, so it shows the same after a restart. It reads only while it is on screen:
// hidden, it costs the GUI thread nothing. A window of its own, never modal, and not one that
// keeps the program running when the main window closes.
class ActivityWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ActivityWindow(QWidget *parent = nullptr);
    ~ActivityWindow() override;

    // Where the trading day that `now` belongs to begins: the evening before, when its night
    // session opens. A Monday's day begins on the Friday evening.
    static QDateTime tradingDayStart(const QDateTime &now);

    // The whole day, newest first, as CSV; false, after a box that says why, when the file
    // could not be written.
    bool exportCsv(const QString &filePath);

public slots:
    void refresh();
    void copySelection();
    void exportDay();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void applyFilter(int comboIndex);
    void updateCount();

    ActivityWindowDetail::ActivityModel *model;
    QSortFilterProxyModel *filtered;
    QComboBox *kindFilter;
    QLabel *noticeLabel;
    QLabel *countLabel;
    QTableView *view;
    QAction *copyAction;
    QTimer *refreshTimer;

    // The rows on display belong to this store and this day; another of either starts afresh.
    std::weak_ptr<SessionStore> shownStore;
    std::int64_t shownDayStartMs = 0;
    std::int64_t lastSeq = 0;
    QString exportedTo;
};
