// The main window's account, instrument and position tables, rebuilt from the session
// record's caches.

#include "mainwindow.h"

#include "globalvars.h"
#include "ui_mainwindow.h"
#include "utils.h"

#include <QAbstractItemView>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>
#include <QVector>

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QString line(const char *format, const QString &value)
{
    return u(format).arg(value);
}

QString count(int value)
{
    return QString::number(value);
}

// Shows the texts, row by row, in the view's model. A quote changes a few cells of the same
// table many times a second: those cells are changed in place, so the view repaints only them
// and measures only their columns, where a new model would be laid out and painted whole. A
// table of another shape gets a new model; the view does not own its model, so the one replaced
// goes now (its selection models follow it), or they would pile up under the view.
void showTexts(QTableView *view, const QVector<QStringList> &rows)
{
    auto *model = qobject_cast<QStandardItemModel *>(view->model());
    const int columns = rows.isEmpty() ? 0 : rows.first().size();
    if (!model || model->rowCount() != rows.size() || model->columnCount() != columns) {
        auto *fresh = new QStandardItemModel(rows.size(), columns, view);
        for (int row = 0; row < rows.size(); ++row) {
            for (int column = 0; column < columns; ++column) {
                fresh->setItem(row, column, new QStandardItem(rows[row].value(column)));
            }
        }
        view->setModel(fresh);
        delete model;
        view->resizeColumnsToContents();
        return;
    }
    for (int column = 0; column < columns; ++column) {
        bool resized = false;
        for (int row = 0; row < rows.size(); ++row) {
            QStandardItem *item = model->item(row, column);
            const QString text = rows[row].value(column);
            if (item->text() == text) {
                continue;
            }
            // Digits are equally wide in a table's fonts: a text of the same length fits.
            resized = resized || item->text().size() != text.size();
            item->setText(text);
        }
        if (resized) {
            view->resizeColumnToContents(column);
        }
    }
}

} // namespace

QTableView *MainWindow::makeTableView(const char *name, int maximumHeight)
{
    auto *view = new QTableView(this);
    view->setObjectName(QString::fromLatin1(name));
    view->setMaximumHeight(maximumHeight);
    view->setMinimumHeight(0);
    view->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Minimum);
    view->setStyleSheet(QStringLiteral("color:blue;"));
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::NoSelection);
    // Tab moves between cells by default, which would keep the keyboard inside the table.
    view->setTabKeyNavigation(false);
    view->horizontalHeader()->hide();
    view->verticalHeader()->hide();
    return view;
}

QString MainWindow::instLifePhaseText(char phase)
{
    switch (phase) {
    case '1':
        return u("上市");
    case '2':
        return u("停牌");
    case '3':
        return u("到期");
    default:
        return u("未上市");
    }
}

QStringList MainWindow::accountLines()
{
    const bool real = GlobalVars::accountType == QLatin1String("real");
    return {
        line("程序化平台用户名:%1", GlobalVars::username),
        line("交易类型:%1", real ? u("实盘交易") : u("模拟交易")),
        line("经纪公司代码:%1", GlobalVars::brokerID),
        line("经纪公司名称:%1", GlobalVars::name),
        line("投资者账户名:%1", GlobalVars::investerID),
        line("当前保证金总额:%1", Utils::formatDouble(GlobalVars::currMargin)),
        line("交易所保证金:%1", Utils::formatDouble(GlobalVars::exchangeMargin)),
        line("可用资金:%1", Utils::formatDouble(GlobalVars::available)),
    };
}

QStringList MainWindow::instrumentLines()
{
    return {
        line("合约代码:%1", GlobalVars::instrument),
        line("合约名称:%1", GlobalVars::instrumentName),
        line("最新价:%1", Utils::formatDouble(GlobalVars::lastPrice)),
        line("昨收价:%1", Utils::formatDouble(GlobalVars::preClosePrice)),
        line("开盘价:%1", Utils::formatDouble(GlobalVars::openPrice)),
        line("最高价:%1", Utils::formatDouble(GlobalVars::highestPrice)),
        line("最低价:%1", Utils::formatDouble(GlobalVars::lowestPrice)),
        line("数量:%1", count(GlobalVars::volume)),
        line("持仓量:%1", Utils::formatDouble(GlobalVars::openInterest)),
        line("买一价:%1", Utils::formatDouble(GlobalVars::bidPrice1)),
        line("卖一价:%1", Utils::formatDouble(GlobalVars::askPrice1)),
        line("上市日期:%1", GlobalVars::openDate),
        line("到期日期:%1", GlobalVars::expireDate),
        line("合约状态:%1", instLifePhaseText(GlobalVars::instLifePhase)),
        line("交易中:%1", GlobalVars::isTrading ? u("是") : u("否")),
        line("每手数量:%1", count(GlobalVars::volumeMultiple)),
        line("最小变价:%1", QString::number(GlobalVars::priceTick, 'g', 6)),
    };
}

void MainWindow::fillLabelValueTable(QStringList lines, QTableView *view)
{
    QVector<QStringList> rows(2);
    for (const QString &labelValue : lines) {
        const QStringList parts = labelValue.split(QLatin1Char(':'));
        rows[0] << parts.value(0);
        rows[1] << parts.value(1);
    }
    showTexts(view, rows);
}

void MainWindow::fillPositionTable(QTableView *view)
{
    using GV = GlobalVars;
    const QVector<QStringList> rows = {
        {u("方向"), u("持仓总量"), u("今持仓"), u("上日持仓"), u("开仓量"), u("开仓金额"),
         u("平仓量"), u("平仓金额"), u("持仓成本"), u("持仓盈亏"), u("平仓盈亏")},
        {u("买入"), count(GV::longPosition), count(GV::longTodayPosition),
         count(GV::longYdPosition), count(GV::longOpenVolume),
         Utils::formatDouble(GV::longOpenAmount), count(GV::longCloseVolume),
         Utils::formatDouble(GV::longCloseAmount), Utils::formatDouble(GV::longPositionCost),
         Utils::formatDouble(GV::longPositionProfit), Utils::formatDouble(GV::longCloseProfit)},
        {u("卖出"), count(GV::shortPosition), count(GV::shortTodayPosition),
         count(GV::shortYdPosition), count(GV::shortOpenVolume),
         Utils::formatDouble(GV::shortOpenAmount), count(GV::shortCloseVolume),
         Utils::formatDouble(GV::shortCloseAmount), Utils::formatDouble(GV::shortPositionCost),
         Utils::formatDouble(GV::shortPositionProfit), Utils::formatDouble(GV::shortCloseProfit)},
    };
    showTexts(view, rows);
}

void MainWindow::setTableAccount()
{
    if (ui->groupBoxAccount->isVisible()) {
        fillLabelValueTable(accountLines(), accountView);
    }
}

void MainWindow::setTableInstrument()
{
    if (ui->groupBoxInstrument->isVisible()) {
        fillLabelValueTable(instrumentLines(), instrumentView);
    }
}

void MainWindow::setTablePosition()
{
    if (ui->groupBoxPosition->isVisible()) {
        fillPositionTable(positionView);
    }
}
