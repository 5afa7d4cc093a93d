#include "messagewindow.h"

#include "globalvars.h"
#include "loginsite.h"
#include "logo.h"
#include "messagebox.h"
#include "signalobject.h"
#include "tradeservice.h"
#include "utils.h"

#include "ui_messagewindow.h"

#include <QFont>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QtDebug>

namespace {
constexpr int kLoginMessage = 1;
constexpr int kStatement = 2;
constexpr int kInert = 3;

QString readError()
{
    return QStringLiteral("[错误] 读取远程数据出错");
}

// A statement's columns are counted in bytes of GB2312, so they line up only in a fixed-pitch
// face whose CJK glyphs are exactly two Latin ones wide: the first three are. Micro Hei Mono
// (CJK 1.67 wide) is the nearest fallback; the style hint finds any monospace face after that.
QTextCharFormat statementCharFormat()
{
    const QStringList families{QStringLiteral("WenQuanYi Zen Hei Mono"),
                               QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("NSimSun"),
                               QStringLiteral("WenQuanYi Micro Hei Mono"),
                               QStringLiteral("monospace")};
    QFont font;
    font.setFamily(families.first());
    font.setFamilies(families);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    QTextCharFormat format;
    format.setFont(font);
    return format;
}
} // namespace

MessageWindow::MessageWindow(QWidget *parent) : QWidget(parent), ui(new Ui::MessageWindow)
{
    setWindowIcon(Logo::icon());
    ui->setupUi(this);
    connect(ui->okButton, SIGNAL(clicked()), this, SLOT(okBuuton_click()));
    connect(ui->cancelButton, SIGNAL(clicked()), this, SLOT(cancelButton_click()));
}

MessageWindow::~MessageWindow()
{
    if (messageRelay) {
        messageRelay->dispose();
    }
}

void MessageWindow::showMessageText(int textType, QString msg)
{
    appendText(textType, msg);
    statementOpen = false;
    ui->okButton->setEnabled(true);
    showIfHidden();
}

void MessageWindow::appendMessageText(bool isLast, int textType, QString msg)
{
    appendText(textType, msg);
    statementOpen = textType == kStatement && !isLast;
    // A statement cannot be confirmed before its last piece is on display.
    ui->okButton->setEnabled(isLast);
    showIfHidden();
}

void MessageWindow::appendText(int textType, const QString &msg)
{
    const bool statement = textType == kStatement;
    const bool continues = statement && statementOpen;
    type = textType;

    QTextDocument *document = ui->textEdit->document();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat chars;
    if (statement) {
        chars = statementCharFormat();
    }
    if (!continues) {
        QTextBlockFormat block;
        // A wrapped statement line would break its columns; it scrolls sideways instead.
        block.setNonBreakableLines(statement);
        if (document->isEmpty()) {
            cursor.setBlockFormat(block);
        } else {
            cursor.insertBlock(block, chars);
        }
    }
    // Plain insertion: markup and "%1" in a platform or exchange text stay as sent. Fronts end
    // lines with CR LF, and a piece may end between the two.
    QString plain = msg;
    plain.remove(QLatin1Char('\r'));
    cursor.insertText(plain, chars);
    cursor.endEditBlock();
}

void MessageWindow::appendPlatformLine(const QString &msg)
{
    // The platform's texts are never statement pieces, so they always start a paragraph.
    statementOpen = false;
    appendText(type, msg);
}

void MessageWindow::showIfHidden()
{
    if (!isVisible()) {
        show();
        ui->textEdit->setFocus();
    }
}

void MessageWindow::clearAndClose()
{
    if (isVisible()) {
        ui->textEdit->clear();
        close();
    }
}

void MessageWindow::receiveMessage(QNetworkReply *reply)
{
    if (!reply) {
        return;
    }
    type = kLoginMessage;
    QByteArray body = reply->readAll();
    if (reply->error() != QNetworkReply::NoError) {
        appendPlatformLine(QStringLiteral("[网络异常1] 请求远程数据时出现错误：错误信息：%1")
                               .arg(reply->errorString()));
        body.clear();
    }
    reply->close();
    reply->deleteLater();

    // Each check adds its own line and the next still runs, so one reply can add several.
    const QJsonObject object = QJsonDocument::fromJson(body).object();
    if (!Utils::contains(object, QStringLiteral("code,msg"))) {
        appendPlatformLine(readError());
    }
    if (object.value(QStringLiteral("code")).toInt() != 0) {
        appendPlatformLine(object.value(QStringLiteral("msg")).toString());
    }
    const QJsonObject data = Utils::getObject(object, QStringLiteral("data"));
    if (!data.contains(QStringLiteral("message"))) {
        appendPlatformLine(readError());
    }
    appendPlatformLine(data.value(QStringLiteral("message")).toString());
    ui->okButton->setEnabled(true);
    ui->textEdit->setFocus();
}

void MessageWindow::okBuuton_click()
{
    ui->okButton->setEnabled(false);
    switch (type) {
    case kLoginMessage:
        if (GlobalVars::loginSite) {
            GlobalVars::loginSite->showWindow();
        }
        clearAndClose();
        break;
    case kStatement:
        GlobalVars::tradeService->reqSettlementInfoConfirm(nextRequestID());
        clearAndClose();
        break;
    case kInert:
        break;
    default:
        clearAndClose();
        break;
    }
}

void MessageWindow::cancelButton_click()
{
    switch (type) {
    case kLoginMessage:
        close();
        break;
    case kStatement:
        if (MessageBox::question(
                this, QStringLiteral("提示信息"),
                QStringLiteral(
                    "根据相关规定，每天必须先确认结算单，否则无法进行交易。继续退出吗？"),
                QStringLiteral("是"), QStringLiteral("否"), 1) == 0) {
            clearAndClose();
        }
        break;
    case kInert:
        break;
    default:
        clearAndClose();
        break;
    }
}

void MessageWindow::showWindow()
{
    ui->okButton->setEnabled(false);
    show();
    ui->textEdit->setFocus();
}

void MessageWindow::closeWindow()
{
    clearAndClose();
}

void MessageWindow::sendMessageSignal(QString msg)
{
    QObject *window = SignalObject::mainWindow();
    // The relay is kept, but one made for a window that is gone (or before there was one)
    // would drop every line.
    if (messageRelay && messageRelay->receiverObject() != window) {
        messageRelay->dispose();
        messageRelay = nullptr;
    }
    if (!window) {
        qWarning().noquote() << msg;
        return;
    }
    if (!messageRelay) {
        messageRelay = new SignalObject(window, SIGNAL(sendSignal(QString)), SLOT(append(QString)));
    }
    emit messageRelay->sendSignal(msg);
}
