#pragma once

#include "reportworker.h"

#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class SignalObject;

// The client of the trading-signal platform: the session (login, configuration, token, user
// data, login message), the current signal and the order and fill reports. Each operation makes
// one request, checks the reply's envelope and payload, and writes what it learned into
// GlobalVars; none retries but the reports, which must not be lost to a passing fault.
//
// The session and signal operations run on the GUI thread and block in the request's local
// event loop. The reports may come from any thread and go out through one ordered worker.
class SignalApi : public QObject
{
    Q_OBJECT

public:
    explicit SignalApi(QObject *parent = nullptr);
    // Gives the reports still queued up to timeoutMs to go out; those still waiting then are
    // logged and dropped, so the process never hangs on a stalled platform at its end.
    ~SignalApi() override;

    bool login();
    bool getConfig();
    bool getToken();
    bool getUserData();
    QString getLoginMessage();
    // Appends the text to the main window's message area. GUI thread. Before a main window
    // is registered the line is logged and kept; the kept lines go out first, in order, with
    // the first line sent once a window is there.
    void showMessage(QString text);

    // On success the output record holds the signal with all seven of its keys.
    bool signalReal(QJsonObject *signal);
    bool signalSimulation(QJsonObject *signal);

    void tradeReal(QString orderID, QString signalID, QString direction, int submitVolume,
                   double price, QString type);
    void tradeSimulation(QString orderID, QString signalID, QString direction, int submitVolume,
                         double price, QString type);
    // A fill named (trading day, exchange, trade number, side) carries an idempotency key made
    // from that name, so the platform stores it once even when a restarted process reports it
    // again.
    void tradeRealSuccess(QString orderID, int volume, double price,
                          const QString &fillName = QString());
    void tradeSimulationSuccess(QString orderID, int volume, double price,
                                const QString &fillName = QString());

    // The report of the session's account type: "real" and "simulation" each have their own
    // endpoint; any other account type reports nothing. An order with signal id "0" was placed
    // by hand.
    void reportOrder(QString orderID, QString signalID, QString direction, int submitVolume,
                     double price);
    void reportFill(QString orderID, int volume, double price, const QString &fillName = QString());
    // The session store of this user's trading account, opened after the login: the signals
    // acted on before and the reports an earlier process left unsent come back from it.
    void openSessionStore();

    // Session close and exit call this before the session record is reset or the process
    // ends: it waits until every report handed in so far has been answered by the platform (or
    // has been given up), and gives up after timeoutMs, logging how many are still
    // waiting. Those keep going out in the background for as long as this object lives.
    bool waitForReports(int timeoutMs);

    // Connected to the main window it was made for; replaced when another window is
    // registered or the window is gone.
    SignalObject *messageRelay = nullptr;
    QString errorText;
    int timeoutMs = 10000;
    // How long a report the platform did not answer keeps being sent again.
    ReportWorker::Retry reportRetry;

private:
    bool fetchSignal(const QString &path, const QString &tag, QJsonObject *signal);
    // A timer period from the configuration: whole seconds from 1 up to what a timer holds;
    // anything else keeps the last valid period (or 1 s) with one warning per bad value.
    int timerSeconds(const QString &key, const QJsonValue &value, int last);
    void sendOrderReport(const QString &path, const QString &tag, const QString &orderID,
                         const QString &signalID, const QString &direction, int submitVolume,
                         double price, const QString &type);
    void sendFillReport(const QString &path, const QString &tag, const QString &orderID, int volume,
                        double price, const QString &fillName);
    void sendReport(const QString &path, const QString &tag, const QJsonObject &report,
                    const QString &orderKey, const QByteArray &idempotencyKey);

    std::unique_ptr<ReportWorker> reports;
    QStringList heldMessages;
    QHash<QString, QJsonValue> badTimerValues;
};
