#include "mainwindow.h"

#include "activitywindow.h"
#include "clock.h"
#include "globalvars.h"
#include "loginctp.h"
#include "loginsite.h"
#include "logo.h"
#include "messagebox.h"
#include "requesttexts.h"
#include "sessionstore.h"
#include "signalapi.h"
#include "tradeservice.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QScrollBar>
#include <QTableView>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QThread>
#include <QTimer>

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QTextBlockFormat messageLineFormat()
{
    QTextBlockFormat format;
    format.setLineHeight(30, QTextBlockFormat::FixedHeight);
    return format;
}

QString environmentText()
{
    return GlobalVars::accountType == QLatin1String("real") ? u("实盘交易") : u("模拟交易");
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    setWindowIcon(Logo::icon());
    ui->setupUi(this);

    accountTypeLabel = new QLabel(this);
    accountTypeLabel->setObjectName(QStringLiteral("accountTypeLabel"));
    accountTypeLabel->setStyleSheet(QStringLiteral("font-weight:bold;"));
    ui->mainToolBar->addWidget(accountTypeLabel);

    QTextCursor cursor = ui->textEdit->textCursor();
    cursor.setBlockFormat(messageLineFormat());
    ui->textEdit->setTextCursor(cursor);

    signalTimer = makeTimer("signalTimer", SLOT(analyzeSignal()));
    waitTimer = makeTimer("waitTimer", SLOT(waitEvent()));
    tokenTimer = makeTimer("tokenTimer", SLOT(updateToken()));
    userDataTimer = makeTimer("userDataTimer", SLOT(userData()));
    configTimer = makeTimer("configTimer", SLOT(refreshConfig()));

    const QString red = QStringLiteral("color:red;margin-left:10px;margin-right:10px;");
    connectionStatusCaption =
        makeStatusLabel("connectionStatusCaption", u("CTP服务器连接状态："), {});
    connectionStatusLabel = makeStatusLabel("connectionStatusLabel", u("● 正在连接..."),
                                            QStringLiteral("color:red;margin-right:10px;"));
    loginStatusCaption = makeStatusLabel("loginStatusCaption", u("CTP账户登录状态："), {});
    loginStatusLabel = makeStatusLabel("loginStatusLabel", u("未登录"), red);
    strategyStatusCaption = makeStatusLabel("strategyStatusCaption", u("策略运行状态："), {});
    strategyStatusLabel =
        makeStatusLabel("strategyStatusLabel", u("等待中，登录后可执行策略"), red);

    const struct
    {
        QAction *action;
        const char *slot;
    } commands[] = {
        {ui->loginMenuItem, SLOT(showLoginCTP())},
        {ui->logoutMenuItem, SLOT(logoutSlot())},
        {ui->actionConnect, SLOT(connectCTPServer())},
        {ui->actionReLogin, SLOT(actionReLogin_click())},
        {ui->clearMenuItem, SLOT(clearTextEdit())},
        {ui->actionViewAccount, SLOT(toggleViewAccount())},
        {ui->actionViewInstrument, SLOT(toggleViewInstrument())},
        {ui->actionViewPosition, SLOT(toggleViewPosition())},
        {ui->actionViewShow, SLOT(toggleViewShow())},
        {ui->actionViewHide, SLOT(toggleViewHide())},
        {ui->actionBuyOpen, SLOT(actionBuyOpen_click())},
        {ui->actionSellClose, SLOT(actionSellClose_click())},
        {ui->actionSellOpen, SLOT(actionSellOpen_click())},
        {ui->actionBuyClose, SLOT(actionBuyClose_click())},
        {ui->actionSearchAccount, SLOT(actionSearchAccount_click())},
        {ui->actionSearchPosition, SLOT(actionSearchPosition_click())},
        {ui->actionSearchInstrument, SLOT(actionSearchInstrument_click())},
        {ui->actionSettlementInfo, SLOT(actionSettlementInfo_click())},
        {ui->actionActivity, SLOT(showActivityWindow())},
    };
    for (const auto &command : commands) {
        connect(command.action, SIGNAL(triggered()), this, command.slot);
    }
    connect(ui->strategyOnButton, SIGNAL(clicked()), this, SLOT(start_btn_click()));
    connect(ui->strategyOffButton, SIGNAL(clicked()), this, SLOT(stop_btn_click()));

    accountView = makeTableView("accountView", 65);
    ui->gridLayoutAccount->addWidget(accountView, 0, 0);
    instrumentView = makeTableView("instrumentView", 65);
    ui->gridLayoutInstrument->addWidget(instrumentView, 0, 0);
    positionView = makeTableView("positionView", 100);
    ui->gridLayoutPosition->addWidget(positionView, 0, 0);

    // The views are made after the form, so on their own they would close the focus chain
    // behind the message area; Tab follows the window from top to bottom instead.
    QWidget::setTabOrder(accountView, instrumentView);
    QWidget::setTabOrder(instrumentView, positionView);
    QWidget::setTabOrder(positionView, ui->strategyOnButton);
    QWidget::setTabOrder(ui->strategyOnButton, ui->strategyOffButton);
    QWidget::setTabOrder(ui->strategyOffButton, ui->textEdit);

    refreshAccountActions();
}

MainWindow::~MainWindow()
{
    delete ui;
}

QTimer *MainWindow::makeTimer(const char *name, const char *slot)
{
    auto *timer = new QTimer(this);
    timer->setObjectName(QString::fromLatin1(name));
    timer->setSingleShot(false);
    connect(timer, SIGNAL(timeout()), this, slot);
    return timer;
}

QLabel *MainWindow::makeStatusLabel(const char *name, const QString &text,
                                    const QString &styleSheet)
{
    auto *label = new QLabel(text, this);
    label->setObjectName(QString::fromLatin1(name));
    if (!styleSheet.isEmpty()) {
        label->setStyleSheet(styleSheet);
    }
    ui->statusBar->addWidget(label);
    return label;
}

// The text goes in as plain text: a platform's or an exchange's message is shown exactly as
// sent, markup and "%1" included, and never takes the place of the time stamp.
void MainWindow::append(QString str)
{
    const QString line = QStringLiteral(">> ") + str + QStringLiteral(" - ") +
                         Clock::now().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    QScrollBar *bar = ui->textEdit->verticalScrollBar();
    const bool following = bar->value() == bar->maximum();
    QTextDocument *document = ui->textEdit->document();
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    // A cleared area has lost its line format with its blocks, so every line sets it again.
    if (document->isEmpty()) {
        cursor.setBlockFormat(messageLineFormat());
    } else {
        cursor.insertBlock(messageLineFormat());
    }
    cursor.insertText(line);
    if (following) {
        bar->setValue(bar->maximum());
    }
}

void MainWindow::clearTextEdit()
{
    ui->textEdit->clear();
}

void MainWindow::showMainWindow(bool show)
{
    setEnabled(true);
    if (show) {
        const QString environment = environmentText();
        ui->textEdit->clear();
        append(u("[初始化] 已建立") + environment + u("环境"));
        beginSession();
        GlobalVars::pendingRequest = 1;
        GlobalVars::tradeService->init();
        const QString title = static_cast<QString>(GlobalVars::titleFormat)
                                  .arg(QStringLiteral(" - ") + GlobalVars::username.get());
        setWindowTitle(title + QStringLiteral(" - ") + environment);
        QMainWindow::show();
        refreshAccountTypeText();
    }
    refreshVisibleTables();
}

void MainWindow::refreshAccountTypeText()
{
    accountTypeLabel->setText(GlobalVars::accountType == QLatin1String("real") ? u("实盘交易")
                                                                               : u("模拟盘交易"));
}

void MainWindow::refreshVisibleTables()
{
    setTableAccount();
    setTableInstrument();
    setTablePosition();
}

void MainWindow::setConnectionState(bool b)
{
    refreshConnectionText(b);
}

void MainWindow::refreshConnectionText(bool)
{
    const bool connected = GlobalVars::tradeConnectionState == 0;
    connectionStatusLabel->setStyleSheet(connected
                                             ? QStringLiteral("color:green;margin-right:10px;")
                                             : QStringLiteral("color:red;margin-right:10px;"));
    connectionStatusLabel->setText(u("● CTP") +
                                   connectionStateText(GlobalVars::tradeConnectionState));
    ui->loginMenuItem->setEnabled(connected);
    refreshAccountActions();
}

void MainWindow::setLoginState(bool b)
{
    refreshLoginText(b);
    setStrategyState(false);
    refreshAccountActions();
    refreshVisibleTables();
}

void MainWindow::refreshLoginText(bool)
{
    const bool loggedIn = GlobalVars::tradeLoginState == 0;
    loginStatusLabel->setStyleSheet(
        loggedIn ? QStringLiteral("color:green;margin-left:10px;margin-right:10px;")
                 : QStringLiteral("color:red;margin-left:10px;margin-right:10px;"));
    loginStatusLabel->setText(u("● ") + loginStateText(GlobalVars::tradeLoginState));
    ui->loginMenuItem->setEnabled(!loggedIn);
}

// The orders, the queries and the start of the strategy all act on the trading account, so
// they are offered only while it is connected and logged in; a refused re-login takes them
// away until a later login succeeds. A running strategy can still be stopped.
void MainWindow::refreshAccountActions()
{
    const bool usable = GlobalVars::tradeConnectionState == 0 && GlobalVars::tradeLoginState == 0;
    for (QAction *action : {ui->actionBuyOpen, ui->actionSellClose, ui->actionSellOpen,
                            ui->actionBuyClose, ui->actionSearchAccount, ui->actionSearchPosition,
                            ui->actionSearchInstrument, ui->actionSettlementInfo}) {
        action->setEnabled(usable);
    }
    if (usable) {
        refreshStrategyText(false);
    } else {
        ui->strategyOnButton->setEnabled(false);
    }
}

void MainWindow::showLoginCTP()
{
    if (GlobalVars::tradeConnectionState != 0) {
        MessageBox::information(this, u("提示信息"), u("没有连接服务器，不能登录"));
        return;
    }
    if (LoginCTP *dialog = GlobalVars::loginCTP) {
        dialog->fillAccountFields();
        dialog->showWindow();
    }
}

void MainWindow::logoutSlot()
{
    if (GlobalVars::tradeLoginState == 0) {
        GlobalVars::tradeService->logout();
        if (GlobalVars::strategyState < 2) {
            GlobalVars::strategyState = -1;
        }
        setStrategyState(true);
    }
    GlobalVars::pendingRequest = 0;
}

void MainWindow::connectCTPServer()
{
    GlobalVars::pendingRequest = 1;
    GlobalVars::tradeService->init();
}

void MainWindow::actionReLogin_click()
{
    const int answer = MessageBox::question(this, u("提示"), u("注销当前程序化用户，重新登录？"),
                                            u("确定"), u("取消"), 1, -1);
    if (answer != 0) {
        return;
    }
    setEnabled(false);
    closeSession();
    hide();
    if (LoginSite *login = GlobalVars::loginSite) {
        login->showWindow();
    }
}

void MainWindow::closeSession()
{
    setEnabled(false);
    haltSession();
    GlobalVars::tradeConnectionState = -1;
    GlobalVars::tradeLoginState = -1;
    GlobalVars::strategyState = -1;
    GlobalVars::pendingRequest = 0;
    setLoginState(false);
    // Events are held back on purpose: only a CTP thread may change the login state meanwhile.
    QThread::msleep(static_cast<unsigned long>(closePauseMs));
    if (GlobalVars::tradeLoginState == 0) {
        GlobalVars::tradeService->logout();
    }
    GlobalVars::tradeService->release();
    // The fills of this session are reported under its token, which the reset below clears.
    GlobalVars::signalApi->waitForReports(reportDrainMs);
    GlobalVars::resetSession();
    // The reports still waiting keep their own hold on it.
    SessionStore::setCurrent(nullptr);
}

// Only a plain "确定" ends the program. A box closed any other way keeps the window and its
// session: closing it without the session close would end the program with the trading API
// running and the platform reports not yet sent.
void MainWindow::closeEvent(QCloseEvent *event)
{
    const int answer =
        MessageBox::question(this, u("提示"), u("确定退出？"), u("确定"), u("取消"), 1, -1);
    if (answer == 0) {
        closeSession();
        event->accept();
    } else {
        event->ignore();
    }
}

void MainWindow::closeWithoutAsking()
{
    closeSession();
    hide();
}

void MainWindow::showActivityWindow()
{
    if (!activityWindow) {
        activityWindow = std::make_unique<ActivityWindow>();
    }
    activityWindow->setWindowState(activityWindow->windowState() & ~Qt::WindowMinimized);
    activityWindow->show();
    activityWindow->raise();
    activityWindow->activateWindow();
}

// A hidden table missed every update, so a group shown again is filled from the caches at once
// rather than showing what it held when it was hidden.
void MainWindow::toggleViewAccount()
{
    ui->groupBoxAccount->setVisible(ui->groupBoxAccount->isHidden());
    setTableAccount();
}

void MainWindow::toggleViewInstrument()
{
    ui->groupBoxInstrument->setVisible(ui->groupBoxInstrument->isHidden());
    setTableInstrument();
}

void MainWindow::toggleViewPosition()
{
    ui->groupBoxPosition->setVisible(ui->groupBoxPosition->isHidden());
    setTablePosition();
}

void MainWindow::toggleViewShow()
{
    ui->groupBoxAccount->show();
    ui->groupBoxInstrument->show();
    ui->groupBoxPosition->show();
    refreshVisibleTables();
}

void MainWindow::toggleViewHide()
{
    ui->groupBoxAccount->hide();
    ui->groupBoxInstrument->hide();
    ui->groupBoxPosition->hide();
}
