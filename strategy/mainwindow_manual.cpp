// The manual order and query commands of the main window's menus "报单" and "查询".

#include "mainwindow.h"

#include "globalvars.h"
#include "messagebox.h"
#include "tradeservice.h"

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

// The signal id of an order given by hand.
const QString kManualSignalId = QStringLiteral("0");

bool tradingSessionDown()
{
    return GlobalVars::tradeConnectionState != 0 || GlobalVars::tradeLoginState != 0;
}

} // namespace

int MainWindow::confirmManualOrder(QString operationText)
{
    const QString title = u("手动 %1").arg(operationText);
    if (tradingSessionDown()) {
        append(u("[错误] 未登录不能进行此操作！"));
        return 1;
    }
    if (GlobalVars::strategyState == 0) {
        append(u("[错误] %1，%2").arg(title, strategyStateText(0)));
        return 1;
    }
    const bool opening = operationText == u("多头 开仓") || operationText == u("空头 开仓");
    const bool real = GlobalVars::accountType == QLatin1String("real");
    QString question;
    if (opening) {
        question = u("将以 %1 % 的资金%2，是否继续？")
                       .arg(GlobalVars::profit * 100, 0, 'g', -1)
                       .arg(operationText);
    } else {
        question = u("将要 %1，是否继续？").arg(operationText);
    }
    if (real) {
        question += u("实盘环境请谨慎操作！");
    }
    return MessageBox::question(this, title, question, u("是"), u("否"), 1, -1);
}

bool MainWindow::checkQueryAllowed()
{
    if (tradingSessionDown()) {
        append(u("[错误] 未登录，不能进行此操作"));
        return true;
    }
    if (GlobalVars::strategyState != 0) {
        return false;
    }
    append(u("[错误] 查询失败，") + strategyStateText(0));
    return true;
}

void MainWindow::actionBuyOpen_click()
{
    if (confirmManualOrder(u("多头 开仓")) == 0) {
        GlobalVars::tradeService->openLong(kManualSignalId);
    }
}

void MainWindow::actionSellClose_click()
{
    if (confirmManualOrder(u("多头 平仓")) == 0) {
        GlobalVars::tradeService->closeLong(kManualSignalId);
    }
}

void MainWindow::actionSellOpen_click()
{
    if (confirmManualOrder(u("空头 开仓")) == 0) {
        GlobalVars::tradeService->openShort(kManualSignalId);
    }
}

void MainWindow::actionBuyClose_click()
{
    if (confirmManualOrder(u("空头 平仓")) == 0) {
        GlobalVars::tradeService->closeShort(kManualSignalId);
    }
}

void MainWindow::actionSearchAccount_click()
{
    if (!checkQueryAllowed()) {
        GlobalVars::tradeService->queryAccount();
    }
}

void MainWindow::actionSearchPosition_click()
{
    if (!checkQueryAllowed()) {
        GlobalVars::tradeService->queryPosition();
    }
}

void MainWindow::actionSearchInstrument_click()
{
    if (!checkQueryAllowed()) {
        GlobalVars::tradeService->queryInstrument();
    }
}

void MainWindow::actionSettlementInfo_click()
{
    if (!checkQueryAllowed()) {
        GlobalVars::tradeService->querySettlementInfo();
    }
}
