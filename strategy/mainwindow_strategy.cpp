// The strategy controller of the main window: the state machine, its five timers and the
// session upkeep they drive.

#include "mainwindow.h"

#include "clock.h"
#include "globalvars.h"
#include "messagebox.h"
#include "signalanalyze.h"
#include "signalapi.h"
#include "tradeservice.h"
#include "ui_mainwindow.h"

#include <QDateTime>
#include <QDebug>
#include <QLabel>
#include <QTimer>

#include <algorithm>

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

const QChar kIdeographicSpace(0x3000);

bool tradingAccountType()
{
    const QString type = GlobalVars::accountType;
    return type == QLatin1String("real") || type == QLatin1String("simulation");
}

void stopIfActive(QTimer *timer)
{
    if (timer->isActive()) {
        timer->stop();
    }
}

void startWithInterval(QTimer *timer, int intervalMs)
{
    timer->setInterval(intervalMs);
    timer->start();
}

// The platform's periods are checked as they are read; before the first configuration they
// are 0, which would fire the timer without pause.
int periodMs(int seconds)
{
    return std::max(seconds, 1) * 1000;
}

// The two daily windows before the day and the night session open, 08:55-09:00 and
// 20:55-21:00, both ends included.
bool insideReconnectWindow(const QTime &time)
{
    const int h = time.hour();
    const int m = time.minute();
    return ((h == 8 || h == 20) && m >= 55 && m <= 59) || ((h == 9 || h == 21) && m == 0);
}

} // namespace

QString MainWindow::strategyStateText(int state)
{
    switch (state) {
    case -1:
        return u("登录后可运行策略");
    case 0:
        return u("策略正在运行...");
    case 1:
        return u("策略已停止.");
    case 3:
        return u("账户被冻结不能运行策略");
    case 4:
        return u("账户信息已改变，请重新登录");
    case 5:
        return u("检测到有异地登录，请重新登录");
    default:
        return QString();
    }
}

void MainWindow::setStrategyState(bool showMessageBox)
{
    if (!GlobalVars::state) {
        GlobalVars::strategyState = 3;
    }
    const bool mayRun = tradingAccountType() && GlobalVars::strategyState == 0;
    if (mayRun) {
        // A running timer keeps its phase.
        if (!signalTimer->isActive()) {
            startWithInterval(signalTimer, periodMs(GlobalVars::signalTimerSeconds));
        }
    } else {
        stopIfActive(signalTimer);
        stopIfActive(waitTimer);
    }
    if (GlobalVars::strategyState > 1) {
        haltSession();
    }
    refreshStrategyText(false);
    if (showMessageBox) {
        append(u("[策略] ") + strategyStateText(GlobalVars::strategyState));
    }
}

void MainWindow::refreshStrategyText(bool)
{
    const int state = GlobalVars::strategyState;
    const QString type = GlobalVars::accountType;
    bool enabled = false;
    if (state == 0 || state == 1) {
        if (type == QLatin1String("real")) {
            enabled = GlobalVars::state;
        } else {
            enabled = type == QLatin1String("simulation");
        }
    }
    const bool running = enabled && state == 0;

    ui->groupBox2->setEnabled(enabled);
    if (enabled) {
        ui->labelState->setStyleSheet(running ? QStringLiteral("color:green;")
                                              : QStringLiteral("color:red;"));
        ui->strategyStateLabel->setStyleSheet(running ? QStringLiteral("color:green")
                                                      : QStringLiteral("color:red"));
        ui->strategyOnButton->setStyleSheet(
            running ? QString() : QStringLiteral("color:white;background:green"));
        // Started while logged out, it would only wait; the button says the account is not ready.
        ui->strategyOnButton->setEnabled(!running && GlobalVars::tradeLoginState == 0);
        ui->strategyOffButton->setStyleSheet(running ? QStringLiteral("color:white;background:red")
                                                     : QString());
        ui->strategyOffButton->setEnabled(running);
        if (!running) {
            ui->labelState->setText(u("●"));
        }
    } else {
        ui->labelState->setStyleSheet(QString());
        ui->strategyStateLabel->setStyleSheet(QString());
        ui->strategyOnButton->setStyleSheet(QString());
        ui->strategyOffButton->setStyleSheet(QString());
        ui->labelState->setText(u("●"));
    }

    const QString status =
        running ? u("策略正在执行中，请保持程序运行、保持网络畅通") : u("等待中，策略已停止运行");
    ui->strategyStateLabel->setText(status);
    strategyStatusLabel->setText(status);
    strategyStatusLabel->setStyleSheet(
        running ? QStringLiteral("color:green;margin-left:10px;margin-right:10px;")
                : QStringLiteral("color:red;margin-left:10px;margin-right:10px;"));
}

void MainWindow::start_btn_click()
{
    if (GlobalVars::strategyState < 2) {
        GlobalVars::strategyState = 0;
    } else {
        MessageBox::information(this, u("提示信息"), strategyStateText(GlobalVars::strategyState));
    }
    setStrategyState(true);
    if (GlobalVars::strategyState == 0 && !waitTimer->isActive()) {
        startWithInterval(waitTimer, 500);
    }
}

void MainWindow::stop_btn_click()
{
    if (GlobalVars::strategyState < 2) {
        if (GlobalVars::strategyState == 0) {
            GlobalVars::strategyState = 1;
        }
    } else {
        MessageBox::information(this, u("提示信息"), strategyStateText(GlobalVars::strategyState));
    }
    setStrategyState(true);
    ui->labelState->setText(u("●"));
}

void MainWindow::waitEvent()
{
    const QString text = ui->labelState->text();
    const QString dot = u("●");
    if (text.isEmpty() || text == QString(kIdeographicSpace)) {
        ui->labelState->setText(dot);
    } else if (text == dot) {
        ui->labelState->setText(QString(kIdeographicSpace));
    } else {
        ui->labelState->setText(text);
    }
}

void MainWindow::analyzeSignal()
{
    // Polling resumes by itself once the trading session is back.
    if (GlobalVars::tradeConnectionState != 0 || GlobalVars::tradeLoginState != 0) {
        return;
    }
    if (GlobalVars::strategyState > 1) {
        append(u("[提示信息] %1").arg(strategyStateText(GlobalVars::strategyState)));
        setStrategyState(false);
        return;
    }
    qDebug() << u("[Signal] 更新信号于") << QDateTime::currentDateTime().toString();
    GlobalVars::signalAnalyze->analyze();
}

void MainWindow::updateToken()
{
    qDebug() << u("[Token] 更新密钥于") << QDateTime::currentDateTime().toString();
    GlobalVars::signalApi->getToken();
    refreshAccountTypeText();
    setStrategyState(false);
}

void MainWindow::userData()
{
    qDebug() << u("[UserData] 更新用户于") << QDateTime::currentDateTime().toString();
    const bool ok = GlobalVars::signalApi->getUserData();
    setStrategyState(!ok && GlobalVars::strategyState > 1);
    refreshAccountTypeText();
    if (ui->groupBoxInstrument->isVisible()) {
        setTableInstrument();
    }
    if (GlobalVars::tradeLoginState == 0 && GlobalVars::strategyState < 2) {
        reconnectBeforeSessionOpens();
    }
}

// A connection made long before the session opens may have gone stale on the broker's side;
// it is made anew once inside each window. The timer runs every minute and a connection renews
// ctpConnectionTime, so this fires at most once per window.
void MainWindow::reconnectBeforeSessionOpens()
{
    qDebug() << u("[CTPConnection] 更新连接于") << QDateTime::currentDateTime().toString();
    const QDateTime now = Clock::now();
    if (!insideReconnectWindow(now.time())) {
        return;
    }
    const QDateTime connectedAt = GlobalVars::ctpConnectionTime;
    const qint64 minutes = connectedAt.secsTo(now) / 60;
    if (minutes > 10) {
        // An order in flight is no sequence: its outcome comes with the replayed flow.
        const int pending = GlobalVars::pendingRequest;
        if (pending == 0 || pending == 21) {
            GlobalVars::pendingRequest = 12;
        }
        GlobalVars::tradeService->init();
    }
}

void MainWindow::refreshConfig()
{
    qDebug() << u("[Config] 更新配置于") << QDateTime::currentDateTime().toString();
    const bool ok = GlobalVars::signalApi->getConfig();
    if (ok && GlobalVars::appVersion.get() != GlobalVars::version.get()) {
        append(u("检测到新版本，为保证程序正确性，请尽快下载最新版本！"));
    }
}

void MainWindow::beginSession()
{
    ui->logoutMenuItem->setEnabled(true);
    ui->actionConnect->setEnabled(true);
    ui->loginMenuItem->setEnabled(true);
    ui->actionReLogin->setEnabled(true);

    GlobalVars::tradeConnectionState = -1;
    GlobalVars::tradeLoginState = -1;
    GlobalVars::strategyState = -1;
    GlobalVars::pendingRequest = 0;

    startWithInterval(tokenTimer, periodMs(GlobalVars::tokenTimerSeconds));
    startWithInterval(userDataTimer, 60000);
    startWithInterval(configTimer, 600000);
}

void MainWindow::haltSession()
{
    ui->logoutMenuItem->setEnabled(false);
    ui->actionConnect->setEnabled(false);
    ui->loginMenuItem->setEnabled(false);
    ui->actionReLogin->setEnabled(true);
    for (QTimer *timer : {signalTimer, waitTimer, tokenTimer, userDataTimer, configTimer}) {
        stopIfActive(timer);
    }
}
