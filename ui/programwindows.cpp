#include "programwindows.h"

#include "globalvars.h"
#include "signalobject.h"
#include "tradeservice.h"

ProgramWindows::ProgramWindows()
{
    GlobalVars::mainWindow = &main;
    SignalObject::setMainWindow(&main);

    GlobalVars::loginSite = &site;
    site.setFixedSize(370, 260);
    site.setWindowFlags(Qt::WindowFlags());
    site.setWindowTitle(GlobalVars::titleFormat.get().arg(QString()) +
                        QStringLiteral(" - 用户登录"));

    GlobalVars::loginCTP = &ctp;
    ctp.setFixedSize(370, 300);
    ctp.setWindowFlags(Qt::WindowCloseButtonHint);
    ctp.setWindowModality(Qt::ApplicationModal);
    ctp.setWindowTitle(QStringLiteral("交易账户登录(CTP)"));

    message.setWindowModality(Qt::ApplicationModal);
    message.setWindowState(Qt::WindowFullScreen);
    GlobalVars::messageWindow = &message;
    GlobalVars::tradeService->setWindows(&ctp, &message);

    QObject::connect(&site, &LoginSite::showMainWindow, &main, &MainWindow::showMainWindow,
                     Qt::DirectConnection);
}

ProgramWindows::~ProgramWindows()
{
    GlobalVars::tradeService->setWindows(nullptr, nullptr);
    SignalObject::setMainWindow(nullptr);
    GlobalVars::messageWindow = nullptr;
    GlobalVars::loginCTP = nullptr;
    GlobalVars::loginSite = nullptr;
    GlobalVars::mainWindow = nullptr;
}
