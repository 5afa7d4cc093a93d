#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class LoginCTP;
}

// The login to the broker's trading account. Broker, account and instrument come from the
// platform login and are shown read-only; only the password is typed here. The dialog closes
// once the request is out; the answer arrives through the CTP callbacks.
class LoginCTP : public QWidget
{
    Q_OBJECT

public:
    explicit LoginCTP(QWidget *parent = nullptr);
    ~LoginCTP() override;

    // Shows the session's broker, account and instrument; the main window calls it before
    // showWindow().
    void fillAccountFields();

public slots:
    void ok_btn_click();
    void focus();
    void showWindow();
    void closeWindow();

private:
    // Whether the login request may go out, given what the trading side still waits for.
    bool mayRequestLogin();

    std::unique_ptr<Ui::LoginCTP> ui;
};
