#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class LoginSite;
}

// The login to the trading-signal platform. Either button chooses the session's account type
// and runs the same procedure; on success the window hides and the main window takes over.
class LoginSite : public QWidget
{
    Q_OBJECT

public:
    explicit LoginSite(QWidget *parent = nullptr);
    ~LoginSite() override;

signals:
    void showMainWindow(bool show);

public slots:
    void simulationLogin();
    void realLogin();
    void showWindow();
    void closeWindow();
    void focus();

private:
    void login();
    // Re-arms the procedure after a refusal.
    void enableButtons(bool enabled);

    std::unique_ptr<Ui::LoginSite> ui;
};
