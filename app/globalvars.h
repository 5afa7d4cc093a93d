#pragma once

#include "guarded.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>

class QMutex;
class TradeService;
class MdService;
class SignalApi;
class SignalAnalyze;
class MainWindow;
class LoginSite;
class LoginCTP;
class MessageWindow;
class TradeSpi;
class MdSpi;
class CThostFtdcTraderApi;
class CThostFtdcMdApi;

// The one session of the process. Members are reached by name from every layer; the CTP
// callback threads write the state integers, the request counters and the caches, so every
// number they touch is atomic and every string is guarded (a torn QString can crash a reader).
class GlobalVars
{
public:
    GlobalVars() = delete;

    // Created at program load by the top of the dependency graph; never replaced.
    static TradeService *tradeService;
    static MdService *mdService;
    static SignalApi *signalApi;
    static SignalAnalyze *signalAnalyze;
    static QMutex *flowMutex;

    // Owned by the entry point's stack frame; valid until the event loop has returned.
    static MainWindow *mainWindow;
    static LoginSite *loginSite;
    static LoginCTP *loginCTP;
    static MessageWindow *messageWindow;

    static std::atomic<CThostFtdcTraderApi *> tradeApi;
    static std::atomic<TradeSpi *> tradeSpi;
    static std::atomic<CThostFtdcMdApi *> mdApi;
    static std::atomic<MdSpi *> mdSpi;

    // Application, platform and session values.
    static Guarded<QString> baseUrl;
    static Guarded<QString> iniPath;
    // Where the session stores live, beside log/; not touched by a session reset.
    static Guarded<QString> dataFolder;
    static Guarded<QString> appVersion;
    static Guarded<QString> version;
    static Guarded<QString> titleFormat;
    static Guarded<QString> userProductInfo;
    static Guarded<QString> startStamp;
    static Guarded<QString> accountType;
    static Guarded<QString> username;
    static Guarded<QString> password;
    static Guarded<QString> token;
    static Guarded<QString> loginCode;
    static std::atomic<bool> state;
    static std::atomic<double> profit;
    static std::atomic<double> maxCapital;
    static Guarded<QString> brokerID;
    static Guarded<QString> investerID;
    static Guarded<QString> investerPassword;
    static Guarded<QString> instrument;
    static Guarded<QString> name;
    static Guarded<QString> mdAddress;
    static Guarded<QString> tdAddress;
    // The terminal the platform registered with the broker (ReqAuthenticate); empty: none.
    static Guarded<QString> appID;
    static Guarded<QString> authCode;
    static std::atomic<int> leverage;
    static std::atomic<int> signalTimerSeconds;
    static std::atomic<int> tokenTimerSeconds;
    static QStringList signalIds; // GUI thread only

    // Strategy, connection and login states.
    static std::atomic<int> strategyState;
    static std::atomic<int> tradeConnectionState;
    static std::atomic<int> tradeLoginState;
    static std::atomic<int> mdLoginState;
    static std::atomic<int> requestID;
    static std::atomic<int> frontID;
    static std::atomic<int> sessionID;
    static std::atomic<int> maxOrderRef;
    static std::atomic<int> pendingRequest;

    // Static data of the traded instrument.
    static Guarded<QString> instrumentName;
    static Guarded<QString> exchangeID;
    static Guarded<QString> openDate;
    static Guarded<QString> expireDate;
    static Guarded<QString> underlyingInstrID;
    static std::atomic<int> volumeMultiple;
    static std::atomic<double> priceTick;
    static std::atomic<double> underlyingMultiple;
    static std::atomic<bool> isTrading;
    static std::atomic<char> instLifePhase;
    static std::atomic<char> positionType;
    // The largest limit order the exchange takes, and its margin ratios (the broker's are
    // higher); 0 while unknown.
    static std::atomic<int> maxLimitOrderVolume;
    static std::atomic<double> longMarginRatio;
    static std::atomic<double> shortMarginRatio;

    // Live quote of the traded instrument; kept across a session reset.
    static std::atomic<double> lastPrice;
    static std::atomic<double> openPrice;
    static std::atomic<double> preClosePrice;
    static std::atomic<double> closePrice;
    static std::atomic<double> highestPrice;
    static std::atomic<double> lowestPrice;
    static std::atomic<double> upperLimitPrice;
    static std::atomic<double> lowerLimitPrice;
    static std::atomic<double> bidPrice1;
    static std::atomic<double> askPrice1;
    static std::atomic<double> turnover;
    static std::atomic<double> openInterest;
    static std::atomic<int> bidVolume1;
    static std::atomic<int> askVolume1;
    static std::atomic<int> volume;

    // Trading account.
    static std::atomic<double> currMargin;
    static std::atomic<double> available;
    static std::atomic<double> exchangeMargin;

    // Position sums over the position records of each direction.
    static std::atomic<int> longPosition;
    static std::atomic<int> longTodayPosition;
    static std::atomic<int> longYdPosition;
    static std::atomic<int> longOpenVolume;
    static std::atomic<int> longCloseVolume;
    static std::atomic<double> longOpenAmount;
    static std::atomic<double> longCloseAmount;
    static std::atomic<double> longPositionProfit;
    static std::atomic<double> longCloseProfit;
    static std::atomic<double> longPositionCost;
    static std::atomic<int> shortPosition;
    static std::atomic<int> shortTodayPosition;
    static std::atomic<int> shortYdPosition;
    static std::atomic<int> shortOpenVolume;
    static std::atomic<int> shortCloseVolume;
    static std::atomic<double> shortOpenAmount;
    static std::atomic<double> shortCloseAmount;
    static std::atomic<double> shortPositionProfit;
    static std::atomic<double> shortCloseProfit;
    static std::atomic<double> shortPositionCost;
    static std::atomic<bool> positionQueryStart;

    static Guarded<QDateTime> ctpConnectionTime;

    // Returns the record to its start-up state, leaving alone what outlives a session:
    // the URLs and versions, the timer periods, the ids of signals already acted on,
    // the market-data snapshot and every service and window pointer.
    static void resetSession();

    // Zeroes the twenty position sums (a new position reply series, or a session reset).
    static void clearPositionSums();
};

// Draws the next CTP request number: 101 up to 1000000, then 101 again.
int nextRequestID();
