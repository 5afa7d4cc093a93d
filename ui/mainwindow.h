#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <memory>

class ActivityWindow;
class QCloseEvent;
class QLabel;
class QTableView;
class QTimer;

namespace Ui {
class MainWindow;
}

// The program's one working window: the tables, the strategy panel, the message area, the
// session menus and the status bar. Its slots of one area each live in their own file: the
// strategy and the manual commands in strategy/, the tables in mainwindow_tables.cpp.
// GUI thread only; the services reach it through SignalObject relays, by slot name.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The close of the window once the user has said yes: the session closed as a logout
    // does, the trading API released and the platform reports sent.
    void closeWithoutAsking();

    // The pause of the session close, in which a late trading-login reply may still arrive.
    int closePauseMs = 1500;
    // How long the session close waits for the platform reports still queued.
    int reportDrainMs = 10000;

public slots:
    // The session.
    void logoutSlot();
    void showLoginCTP();
    void connectCTPServer();
    void actionReLogin_click();
    void clearTextEdit();
    void toggleViewAccount();
    void toggleViewInstrument();
    void toggleViewPosition();
    void toggleViewShow();
    void toggleViewHide();
    void showMainWindow(bool show);
    void setConnectionState(bool b);
    void setLoginState(bool b);
    void refreshConnectionText(bool showMessageBox);
    void refreshLoginText(bool showMessageBox);
    void append(QString str);

    // The strategy and its timers.
    void start_btn_click();
    void stop_btn_click();
    void setStrategyState(bool showMessageBox);
    void refreshStrategyText(bool showMessageBox);
    void analyzeSignal();
    void waitEvent();
    void updateToken();
    void userData();
    void refreshConfig();

    // The manual commands.
    void actionBuyOpen_click();
    void actionSellClose_click();
    void actionSellOpen_click();
    void actionBuyClose_click();
    void actionSearchAccount_click();
    void actionSearchPosition_click();
    void actionSearchInstrument_click();
    void actionSettlementInfo_click();

    // The day's activity, in a window of its own.
    void showActivityWindow();

    // The tables.
    void setTableAccount();
    void setTableInstrument();
    void setTablePosition();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void beginSession();
    void haltSession();
    void closeSession();
    void refreshAccountTypeText();
    void refreshVisibleTables();
    void refreshAccountActions();
    void reconnectBeforeSessionOpens();
    static QString strategyStateText(int state);

    int confirmManualOrder(QString operationText);
    bool checkQueryAllowed();

    QStringList accountLines();
    QStringList instrumentLines();
    void fillLabelValueTable(QStringList lines, QTableView *view);
    void fillPositionTable(QTableView *view);
    static QString instLifePhaseText(char phase);

    QTimer *makeTimer(const char *name, const char *slot);
    QLabel *makeStatusLabel(const char *name, const QString &text, const QString &styleSheet);
    QTableView *makeTableView(const char *name, int maximumHeight);

    Ui::MainWindow *ui;

    QTimer *signalTimer;
    QTimer *waitTimer;
    QTimer *tokenTimer;
    QTimer *userDataTimer;
    QTimer *configTimer;

    QTableView *accountView;
    QTableView *instrumentView;
    QTableView *positionView;

    QLabel *accountTypeLabel;
    QLabel *connectionStatusCaption;
    QLabel *connectionStatusLabel;
    QLabel *loginStatusCaption;
    QLabel *loginStatusLabel;
    QLabel *strategyStatusCaption;
    QLabel *strategyStatusLabel;

    // Made when first asked for; one for the program's life.
    std::unique_ptr<ActivityWindow> activityWindow;
};
