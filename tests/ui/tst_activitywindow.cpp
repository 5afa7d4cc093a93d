// The activity window offscreen, on a session store of its own: opened from the main window's
// menu, live while shown and idle while hidden, its filter, the copy and the CSV export.

#include "activitywindow.h"
#include "clock.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "sessionstore.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

using Kind = SessionStore::ActivityKind;

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QList<ActivityWindow *> activityWindows()
{
    QList<ActivityWindow *> found;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<ActivityWindow *>(widget)) {
            found << window;
        }
    }
    return found;
}

// Each shown row as "kind subject state", top to bottom.
QStringList shownRows(QTableView *view)
{
    QStringList rows;
    const QAbstractItemModel *model = view->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        rows << QStringLiteral("%1 %2 %3")
                    .arg(model->index(row, 1).data().toString(),
                         model->index(row, 2).data().toString(),
                         model->index(row, 4).data().toString());
    }
    return rows;
}

} // namespace

class TestActivityWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { MessageBox::setTestMode(true); }
    void cleanup()
    {
        SessionStore::setCurrent(nullptr);
        Clock::setFixed(QDateTime());
        MessageBox::takeShown();
    }

    void tradingDayBeginsTheEveningBefore();
    void followsTheStoreWhileShown();
};

void TestActivityWindow::tradingDayBeginsTheEveningBefore()
{
    const auto at = [](const char *text) {
        return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
    };
    // 2026-12-07 is a Monday.
    QCOMPARE(ActivityWindow::tradingDayStart(at("2026-12-08T15:59:59")), at("2026-12-07T16:00:00"));
    QCOMPARE(ActivityWindow::tradingDayStart(at("2026-12-08T16:00:00")), at("2026-12-08T16:00:00"));
    QCOMPARE(ActivityWindow::tradingDayStart(at("2026-12-09T00:30:00")), at("2026-12-08T16:00:00"));
    // The Friday night session belongs to Monday.
    QCOMPARE(ActivityWindow::tradingDayStart(at("2026-12-07T10:00:00")), at("2026-12-04T16:00:00"));
    QCOMPARE(ActivityWindow::tradingDayStart(at("2026-12-05T01:00:00")), at("2026-12-04T16:00:00"));
}

void TestActivityWindow::followsTheStoreWhileShown()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString notice;
    const std::shared_ptr<SessionStore> store =
        SessionStore::open(dir.filePath(QStringLiteral("session.db")), &notice);
    QVERIFY2(store, qPrintable(notice));
    SessionStore::setCurrent(store);

    store->recordActivity(Kind::Connection, u("交易前置 1"), u("交易前置"), u("已连接"));
    store->recordActivity(Kind::Signal, u("S1"), u("买入开仓"), u("已执行"));
    // The front answered before the order's own row was written: the row keeps the answer.
    store->recordActivity(Kind::Order, u("1_1_1"), QString(), u("已接受"));
    store->introduceActivity(Kind::Order, u("1_1_1"), u("rb2705 买开 1手 信号S1"), u("已发出"));
    store->recordActivity(Kind::Signal, u("S2"), u("卖出平仓"), u("已忽略：已过期"));
    store->recordActivity(Kind::Order, u("1_1_2"), u("rb2705 卖开 1手 手动"),
                          u("被拒绝：[31] 资金不足"));
    store->recordActivity(Kind::Report, u("R1"), u("下单 报单1_1_1, \"首笔\""), u("已存储"));

    MainWindow main;
    QAction *open = main.findChild<QAction *>(QStringLiteral("actionActivity"));
    QVERIFY(open);
    QCOMPARE(open->text(), u("运行记录"));
    // Opened from the keyboard by its shortcut.
    main.show();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    QTest::keySequence(&main, open->shortcut());
    QCOMPARE(activityWindows().size(), 1);
    ActivityWindow *window = activityWindows().first();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(window->windowTitle(), u("运行记录"));
    QVERIFY(!window->isModal());
    auto *view = window->findChild<QTableView *>();
    auto *timer = window->findChild<QTimer *>(QStringLiteral("refreshTimer"));
    auto *noticeLabel = window->findChild<QLabel *>(QStringLiteral("noticeLabel"));
    QVERIFY(view && timer && noticeLabel);
    QVERIFY(!view->tabKeyNavigation());
    QVERIFY(view->columnWidth(0) > view->fontMetrics().horizontalAdvance(u("00:00:00")));
    QVERIFY(timer->isActive());
    QVERIFY(!noticeLabel->isVisible());

    const QStringList first{u("报告 R1 已存储"),         u("报单 1_1_2 被拒绝：[31] 资金不足"),
                            u("信号 S2 已忽略：已过期"), u("报单 1_1_1 已接受"),
                            u("信号 S1 已执行"),         u("连接 交易前置 1 已连接")};
    QCOMPARE(shownRows(view), first);

    // The order filled: its row changes where it stands; the fill comes in on top.
    store->recordActivity(Kind::Order, u("1_1_1"), QString(), u("全部成交"));
    store->recordActivity(Kind::Fill, u("SHFE 7 买"), u("报单1_1_1 价格3500.00 数量1"), u("成交"));
    QStringList second = first;
    second[3] = u("报单 1_1_1 全部成交");
    second.prepend(u("成交 SHFE 7 买 成交"));
    QTRY_COMPARE_WITH_TIMEOUT(shownRows(view), second, 5000);
    QCOMPARE(view->model()->index(4, 3).data().toString(), u("rb2705 买开 1手 信号S1"));

    // Asked again, the same window comes forward.
    open->trigger();
    QCOMPARE(activityWindows(), QList<ActivityWindow *>{window});

    auto *filter = window->findChild<QComboBox *>(QStringLiteral("kindFilter"));
    QCOMPARE(filter->count(), 6);
    filter->setCurrentText(u("报单"));
    QCOMPARE(shownRows(view), QStringList({second[2], second[4]}));
    filter->setCurrentIndex(0);
    QCOMPARE(shownRows(view).size(), second.size());

    // Ctrl+C in the table copies the selected rows, not the one cell the view would copy.
    view->setFocus();
    view->selectionModel()->select(view->model()->index(0, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view->selectionModel()->select(view->model()->index(2, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QApplication::clipboard()->clear();
    QTest::keySequence(view, QKeySequence::Copy);
    const QStringList copied = QApplication::clipboard()->text().split(QLatin1Char('\n'));
    QCOMPARE(copied.size(), 3);
    QVERIFY(copied[0].endsWith(u("\t成交\tSHFE 7 买\t报单1_1_1 价格3500.00 数量1\t成交")));
    QVERIFY(copied[1].endsWith(u("\t报单\t1_1_2\trb2705 卖开 1手 手动\t被拒绝：[31] 资金不足")));
    QCOMPARE(copied[1].count(QLatin1Char('\t')), 4);

    // The whole day as CSV, whatever the filter shows.
    filter->setCurrentText(u("信号"));
    const QString csvPath = dir.filePath(QStringLiteral("day.csv"));
    QVERIFY(window->exportCsv(csvPath));
    QFile csv(csvPath);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QByteArray bytes = csv.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 1 + second.size() + 1);
    QCOMPARE(lines.first(), u("时间,类别,对象,内容,状态"));
    QVERIFY(lines.last().isEmpty());
    QVERIFY(lines[2].endsWith(u(",报告,R1,\"下单 报单1_1_1, \"\"首笔\"\"\",已存储")));
    // A file that cannot be written says so and claims nothing.
    QVERIFY(!window->exportCsv(dir.filePath(QStringLiteral("missing/day.csv"))));
    const QList<MessageBox::Shown> boxes = MessageBox::takeShown();
    QCOMPARE(boxes.size(), 1);
    QVERIFY(boxes.first().text.contains(QStringLiteral("missing")));

    // Esc closes it, and closed it reads nothing.
    QTest::keyClick(view, Qt::Key_Escape);
    QVERIFY(!window->isVisible());
    QVERIFY(!timer->isActive());

    // Another trading day shows none of this one's rows.
    filter->setCurrentIndex(0);
    Clock::setFixed(QDateTime::currentDateTime().addDays(3));
    open->trigger();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(view->model()->rowCount(), 0);
    Clock::setFixed(QDateTime());

    // No session open: nothing to show, and a line that says why.
    SessionStore::setCurrent(nullptr);
    window->refresh();
    QCOMPARE(view->model()->rowCount(), 0);
    QVERIFY(noticeLabel->isVisible());
    QCOMPARE(noticeLabel->text(), u("尚未登录，没有运行记录"));
}

QTEST_MAIN(TestActivityWindow)
#include "tst_activitywindow.moc"
