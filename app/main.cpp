#include "globalvars.h"
#include "keepawake.h"
#include "logging.h"
#include "loginctp.h"
#include "loginsite.h"
#include "mainwindow.h"
#include "messagewindow.h"
#include "signalapi.h"
#include "signalobject.h"
#include "startup.h"
#include "tradeservice.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    keepSystemAwake();
    useGb2312Locale();
    qInstallMessageHandler(messageHandler);
    applySettingsFile(QCoreApplication::applicationDirPath());

    MainWindow mainWindow;
    GlobalVars::mainWindow = &mainWindow;
    SignalObject::setMainWindow(&mainWindow);

    LoginSite loginSite;
    GlobalVars::loginSite = &loginSite;
    loginSite.setFixedSize(370, 260);
    loginSite.setWindowFlags(Qt::WindowFlags());
    loginSite.setWindowTitle(GlobalVars::titleFormat.get().arg(QString()) +
                             QStringLiteral(" - 用户登录"));

    LoginCTP loginCTP;
    GlobalVars::loginCTP = &loginCTP;
    loginCTP.setFixedSize(370, 300);
    loginCTP.setWindowFlags(Qt::WindowCloseButtonHint);
    loginCTP.setWindowModality(Qt::ApplicationModal);
    loginCTP.setWindowTitle(QStringLiteral("交易账户登录(CTP)"));

    MessageWindow messageWindow;
    messageWindow.setWindowModality(Qt::ApplicationModal);
    messageWindow.setWindowState(Qt::WindowFullScreen);
    GlobalVars::messageWindow = &messageWindow;
    GlobalVars::tradeService->setWindows(&loginCTP, &messageWindow);

    QObject::connect(&loginSite, &LoginSite::showMainWindow, &mainWindow,
                     &MainWindow::showMainWindow, Qt::DirectConnection);

    // The platform login opens only once the user has acknowledged the login message.
    messageWindow.showWindow();
    const QString loginMessage = GlobalVars::signalApi->getLoginMessage();
    messageWindow.appendMessageText(true, 1, loginMessage);

    const int exitCode = application.exec();
    // The service objects outlive main; the reports they still hold go out before the end.
    GlobalVars::signalApi->waitForReports(GlobalVars::signalApi->timeoutMs);
    GlobalVars::tradeService->setWindows(nullptr, nullptr);
    GlobalVars::messageWindow = nullptr;
    GlobalVars::loginCTP = nullptr;
    GlobalVars::loginSite = nullptr;
    GlobalVars::mainWindow = nullptr;
    return exitCode;
}
