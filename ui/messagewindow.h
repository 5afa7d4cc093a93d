#pragma once

#include <QString>
#include <QWidget>

#include <memory>

class QNetworkReply;
class SignalObject;

namespace Ui {
class MessageWindow;
}

// The long text the user must acknowledge: the platform's login message (type 1) or the
// broker's settlement statement (type 2). What OK and Cancel do depends on the type of the
// text on display. Texts are shown exactly as sent, never as markup.
class MessageWindow : public QWidget
{
    Q_OBJECT

public:
    explicit MessageWindow(QWidget *parent = nullptr);
    ~MessageWindow() override;

    int type = 0;
    SignalObject *messageRelay = nullptr;

public slots:
    void showMessageText(int type, QString msg);
    void appendMessageText(bool isLast, int type, QString msg);
    void receiveMessage(QNetworkReply *reply);
    void okBuuton_click();
    void cancelButton_click();
    void showWindow();
    void closeWindow();
    void sendMessageSignal(QString msg);

private:
    void appendText(int textType, const QString &msg);
    void appendPlatformLine(const QString &msg);
    void showIfHidden();
    void clearAndClose();

    std::unique_ptr<Ui::MessageWindow> ui;
    // A statement arrives in pieces cut by bytes, mid-line; the pieces after the first of one
    // statement continue its text instead of starting a paragraph each.
    bool statementOpen = false;
};
