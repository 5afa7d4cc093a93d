#pragma once

#include "chainpause.h"
#include "ownorders.h"
#include "positionseries.h"
#include "reportedfills.h"
#include "sessiongate.h"
#include "settlementtext.h"
#include "terminalidentity.h"
#include "waitingfills.h"

#include <ThostFtdcUserApiStruct.h>

#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>
#include <mutex>

class SignalObject;

// The one connection of the process to the trading front: the login and its sequence
// (settlement confirmation, then the instrument, position and account queries), the logout,
// the settlement statement and the caches the answers fill. Request operations are called from
// the GUI thread and, for the next step of a sequence, from the library's callback thread; the
// handlers run on the callback thread and reach windows only through relays.
// No meta-object of its own (no signals or slots), so programs that link the market data alone
// do not pull this in through the library's generated code.
class TradeService : public QObject
{
public:
    using QObject::QObject;
    ~TradeService() override;

    // The trading API on GlobalVars::tdAddress, after starting the market data; 0, or -1 when
    // the set-up failed.
    int init();
    // Stops the market data and the trading API; no callback runs and no request goes out
    // afterwards.
    void release();

    int reqUserLogin(int requestNo);
    int reqUserLogout(int requestNo);
    int logout();
    int reqSettlementInfoConfirm(int requestNo);
    int reqQrySettlementInfo(int requestNo);
    int querySettlementInfo();
    int reqQryInstrument(int requestNo);
    int reqQryInvestorPosition(int requestNo);
    int reqQryTradingAccount(int requestNo);
    int queryInstrument();
    int queryPosition();
    int queryAccount();

    // The four trading commands on the session's instrument, each an immediate-or-cancel limit
    // order one tick inside the day's far limit; signalId "0" marks a command given by hand,
    // whose refusals are shown. 0 when the (last) order was sent, else a requestResultText code.
    int openLong(QString signalId);
    int closeLong(QString signalId);
    int openShort(QString signalId);
    int closeShort(QString signalId);
    // Sends one order and hands its report to the platform's report worker.
    int insertOrder(char direction, char offsetFlag, int volume, double price, QString signalId);
    // Only the latest order of this login is recognised.
    bool isCurrentOrder(const CThostFtdcOrderField &order);

    // One line in the main window's message area.
    void showMessage(QString text);

    // The login dialog (closeWindow()) and the message window
    // (appendMessageText(bool, int, QString)), registered by the entry point, which knows
    // their types; each registration ends by itself when its window is destroyed.
    void setWindows(QObject *loginDialog, QObject *messageWindow);

    // The pause before a chained request; false when a release cut it short, and the chain
    // must stop there.
    bool pauseChain();

    void onRspAuthenticate(CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast);
    void onFrontConnected();
    void onFrontDisconnected(int nReason);
    void onRspUserLogin(CThostFtdcRspUserLoginField *pRspUserLogin,
                        CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast);
    void onRspUserLogout(CThostFtdcUserLogoutField *pUserLogout, CThostFtdcRspInfoField *pRspInfo,
                         int nRequestID, bool bIsLast);
    void onRspSettlementInfoConfirm(CThostFtdcSettlementInfoConfirmField *pSettlementInfoConfirm,
                                    CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast);
    void onRspQrySettlementInfo(CThostFtdcSettlementInfoField *pSettlementInfo,
                                CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast);
    void onRspError(CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast);
    void onRspQryInstrument(CThostFtdcInstrumentField *pInstrument,
                            CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast);
    void onRspQryInvestorPosition(CThostFtdcInvestorPositionField *pInvestorPosition,
                                  CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast);
    void onRspQryTradingAccount(CThostFtdcTradingAccountField *pTradingAccount,
                                CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast);

    void onRspOrderInsert(CThostFtdcInputOrderField *pInputOrder, CThostFtdcRspInfoField *pRspInfo,
                          int nRequestID, bool bIsLast);
    void onRspOrderAction(CThostFtdcInputOrderActionField *pInputOrderAction,
                          CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast);
    void onRtnOrder(CThostFtdcOrderField *pOrder);
    void onRtnTrade(CThostFtdcTradeField *pTrade);
    void onErrRtnOrderInsert(CThostFtdcInputOrderField *pInputOrder,
                             CThostFtdcRspInfoField *pRspInfo);
    void onErrRtnOrderAction(CThostFtdcOrderActionField *pOrderAction,
                             CThostFtdcRspInfoField *pRspInfo);

    // Milliseconds before each chained request.
    std::atomic<int> chainDelayMs{1100};
    // Fills that arrived again (the stream replayed after a reconnection) and were not shown
    // or reported a second time.
    int repeatedFills() const { return reportedFills.repeats(); }

private:
    // The order requests and the refresh after their fills.
    static constexpr int kFillRefresh = 21;

    struct OrderSide;
    int openPosition(const OrderSide &side, const QString &signalId);
    int closePosition(const OrderSide &side, const QString &signalId);

    // A refused login or authentication, shown as `line` (with the error's number and text): the
    // account is not logged in, and says so.
    void loginRefused(const QString &line, const CThostFtdcRspInfoField &info);
    // The login request itself, the lock held.
    int sendLogin(int requestNo, const TerminalIdentity &terminal);
    // Lock, send, report a failure, unlock.
    int request(int (*send)(int), int requestNo, const char *failureText);
    // Takes the API object away from the requests and ends it, with no lock of this service
    // held: Release() waits for a running callback, which may be waiting for that lock.
    void releaseApi();

    // Serialises init(), release() and every request between the GUI and the callback thread.
    QMutex mutex;
    ChainPause chain;
    // The position and account refresh after own fills, whatever else is pending. Its steps
    // run on the chain's own thread after the pause: a fill's callback holds up the reading of
    // the connection, so a query sent from it would find another query's answer still unread.
    // One round runs at a time; fills that come meanwhile ask for one more round.
    void startFillRefresh();
    void noteRefusal(const CThostFtdcInputOrderField &order, const CThostFtdcRspInfoField &info);
    void reportOrderOfEarlierProcess(const CThostFtdcOrderField &order,
                                     const SessionStore::OwnOrder &earlier);
    // A fill known as one of our orders': shown, reported and followed by the refresh, once.
    void takeFill(const CThostFtdcTradeField &trade, const QString &orderKey);
    void chainFillRefresh(int (*send)(int), const char *failureText, int attempt = 1);
    // The refresh's last answer, an error answer to it, or a query that could not be sent.
    void endFillRefresh(int requestNo);
    std::atomic<bool> fillRefreshRunning{false};
    std::atomic<bool> fillRefreshAgain{false};
    // A dropped connection takes the round's answer with it: the round's pending step is
    // dropped and a new round runs once logged in again.
    std::atomic<int> fillRefreshGeneration{0};
    std::atomic<bool> fillRefreshOwed{false};
    PositionSeries positions;
    // The trading day of the last login, whose lots the cached position counts as today's;
    // callback thread only.
    std::string positionDay;
    SessionGate session;
    // Log in again by itself when the connection comes back: true from a login until a logout,
    // a release, or a refusal that repeating would only make worse.
    std::atomic<bool> reloginWanted{false};
    SettlementText settlement;
    ReportedFills reportedFills;
    OwnOrders ownOrders;
    WaitingFills waitingFills;

    // Kept for the life of the service; replaced when the main window changes.
    SignalObject *messageRelay = nullptr;
    std::mutex messageMutex;

    std::atomic<QObject *> loginDialog{nullptr};
    std::atomic<QObject *> messageWindow{nullptr};
};
