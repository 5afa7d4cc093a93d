#include "loginctp.h"

#include "globalvars.h"
#include "logo.h"
#include "messagebox.h"
#include "tradeservice.h"
#include "utils.h"

#include "ui_loginctp.h"

namespace {
// What the trading side waits for: nothing, or the sequence that begins with the user login.
constexpr int kNothingPending = 0;
constexpr int kLoginSequence = 11;

QString boxTitle()
{
    return QStringLiteral("提示信息");
}
} // namespace

LoginCTP::LoginCTP(QWidget *parent) : QWidget(parent), ui(new Ui::LoginCTP)
{
    setWindowIcon(Logo::icon());
    ui->setupUi(this);
    ui->investerIDText->setText(
        Utils::readSetting(QStringLiteral("SETUP"), QStringLiteral("investerID")));
    connect(ui->ok_btn, SIGNAL(clicked()), this, SLOT(ok_btn_click()));
    connect(ui->investerPasswordText, &QLineEdit::returnPressed, ui->ok_btn, &QPushButton::click);
}

LoginCTP::~LoginCTP() = default;

void LoginCTP::fillAccountFields()
{
    ui->brokerIDText->setText(GlobalVars::brokerID);
    ui->investerIDText->setText(GlobalVars::investerID);
    ui->instrumentText->setText(GlobalVars::instrument);
}

void LoginCTP::focus()
{
    ui->investerPasswordText->setFocus();
}

void LoginCTP::showWindow()
{
    ui->investerPasswordText->clear();
    ui->investerPasswordText->setFocus();
    ui->ok_btn->setEnabled(true);
    show();
}

void LoginCTP::closeWindow()
{
    ui->investerPasswordText->clear();
    close();
}

void LoginCTP::ok_btn_click()
{
    bool anyEmpty = false;
    for (const QLineEdit *field :
         {ui->investerIDText, ui->investerPasswordText, ui->instrumentText, ui->brokerIDText}) {
        anyEmpty = anyEmpty || field->text().trimmed().isEmpty();
    }
    if (ui->investerIDText->text() != GlobalVars::investerID.get()) {
        MessageBox::information(this, boxTitle(), QStringLiteral("交易账户不正确！"));
        return;
    }
    if (anyEmpty) {
        MessageBox::information(this, boxTitle(), QStringLiteral("输入不能为空"));
        return;
    }
    ui->ok_btn->setEnabled(false);
    GlobalVars::investerPassword = ui->investerPasswordText->text();

    if (mayRequestLogin()) {
        // A changed account stays blocked until the platform login is done again: only that
        // reads the account the platform now names.
        if (GlobalVars::tradeService->reqUserLogin(kLoginSequence) != 0) {
            MessageBox::information(this, boxTitle(), QStringLiteral("登录失败，请检查网络"));
            // Nothing went out, so the next attempt has nothing to ask about.
            GlobalVars::pendingRequest = kNothingPending;
        }
    }
    ui->investerPasswordText->clear();
    close();
}

bool LoginCTP::mayRequestLogin()
{
    const int pending = GlobalVars::pendingRequest;
    if (pending == kNothingPending) {
        return true;
    }
    if (pending == kLoginSequence) {
        // Outside trading hours the front may never answer a login; the user decides.
        return MessageBox::question(
                   this, QStringLiteral("提示"),
                   QStringLiteral("上次登录失败，可能当前处在非交易时段，是否继续尝试登录？"),
                   QStringLiteral("确定"), QStringLiteral("取消"), 1) == 0;
    }
    MessageBox::information(this, boxTitle(),
                            QStringLiteral("登录失败，CTP连接发生错误，请退出软件稍后再试！"));
    return false;
}
