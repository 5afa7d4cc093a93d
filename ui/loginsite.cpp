#include "loginsite.h"

#include "globalvars.h"
#include "logo.h"
#include "messagebox.h"
#include "signalapi.h"
#include "utils.h"

#include "ui_loginsite.h"

#include <QtDebug>

namespace {
const char *const kSettingsGroup = "SETUP";
const char *const kUsernameKey = "username";

QString boxTitle()
{
    return QStringLiteral("提示信息");
}
} // namespace

LoginSite::LoginSite(QWidget *parent) : QWidget(parent), ui(new Ui::LoginSite)
{
    setWindowIcon(Logo::icon());
    ui->setupUi(this);
    ui->usernameText->setText(
        Utils::readSetting(QLatin1String(kSettingsGroup), QLatin1String(kUsernameKey)));
    connect(ui->simulation_btn, SIGNAL(clicked()), this, SLOT(simulationLogin()));
    connect(ui->real_btn, SIGNAL(clicked()), this, SLOT(realLogin()));
    // Enter submits through the button, so a login already running (buttons disabled) is not
    // started twice; the simulation account is the safer of the two to fall to.
    connect(ui->passwordText, &QLineEdit::returnPressed, ui->simulation_btn, &QPushButton::click);
    setTabOrder(ui->usernameText, ui->passwordText);
    setTabOrder(ui->passwordText, ui->simulation_btn);
    setTabOrder(ui->simulation_btn, ui->real_btn);
}

LoginSite::~LoginSite() = default;

void LoginSite::simulationLogin()
{
    GlobalVars::accountType = QStringLiteral("simulation");
    login();
}

void LoginSite::realLogin()
{
    GlobalVars::accountType = QStringLiteral("real");
    login();
}

void LoginSite::showWindow()
{
    show();
    enableButtons(true);
    ui->passwordText->clear();
    if (ui->usernameText->text().isEmpty()) {
        ui->usernameText->setFocus();
    } else {
        ui->passwordText->setFocus();
    }
}

void LoginSite::closeWindow()
{
    ui->passwordText->clear();
    close();
}

void LoginSite::focus()
{
    ui->passwordText->setFocus();
}

void LoginSite::enableButtons(bool enabled)
{
    ui->simulation_btn->setEnabled(enabled);
    ui->real_btn->setEnabled(enabled);
}

void LoginSite::login()
{
    const QString username = ui->usernameText->text();
    const QString password = ui->passwordText->text();
    if (username.trimmed().isEmpty() || password.trimmed().isEmpty()) {
        MessageBox::information(this, boxTitle(), QStringLiteral("输入不能为空"));
        return;
    }
    // The requests below run a local event loop: a second click must find the buttons off.
    enableButtons(false);
    GlobalVars::username = username;
    GlobalVars::password = password;
    // Remembered before the platform answers, so a failed attempt keeps the name too.
    Utils::writeSetting(QLatin1String(kSettingsGroup), QLatin1String(kUsernameKey), username);

    SignalApi *api = GlobalVars::signalApi;
    if (!api->login()) {
        enableButtons(true);
        return;
    }
    if (!api->getConfig()) {
        const bool real = GlobalVars::accountType.get() == QLatin1String("real");
        MessageBox::information(
            nullptr, boxTitle(),
            QStringLiteral("%1信息错误，请确定开通实盘权限，以及配置实盘信息。")
                .arg(real ? QStringLiteral("实盘账号") : QStringLiteral("模拟盘账号")));
        enableButtons(true);
        return;
    }
    if (GlobalVars::appVersion.get() != GlobalVars::version.get()) {
        MessageBox::information(nullptr, boxTitle(),
                                QStringLiteral("当前有新版本，为保证程序正确性，请下载最新版本"));
        enableButtons(true);
        return;
    }
    if (!GlobalVars::state) {
        MessageBox::information(nullptr, boxTitle(), QStringLiteral("账户已冻结不可用"));
        enableButtons(true);
        return;
    }
    hide();
    ui->passwordText->clear();
    emit showMainWindow(true);
    qCritical() << "[客户端登录] " << GlobalVars::startStamp.get();
}
