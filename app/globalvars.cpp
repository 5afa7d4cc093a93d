#include "globalvars.h"

#include <QMutex>
#include <QMutexLocker>

namespace {
const char *const kDefaultBaseUrl = "http://127.0.0.1:41280";

QString loadStamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyMMddhhmmss"));
}
} // namespace

// flowMutex and the four service pointers are defined together by the library at the top of the
// graph, which sees the service classes; this file only knows them by name.

MainWindow *GlobalVars::mainWindow = nullptr;
LoginSite *GlobalVars::loginSite = nullptr;
LoginCTP *GlobalVars::loginCTP = nullptr;
MessageWindow *GlobalVars::messageWindow = nullptr;

std::atomic<CThostFtdcTraderApi *> GlobalVars::tradeApi{nullptr};
std::atomic<TradeSpi *> GlobalVars::tradeSpi{nullptr};
std::atomic<CThostFtdcMdApi *> GlobalVars::mdApi{nullptr};
std::atomic<MdSpi *> GlobalVars::mdSpi{nullptr};

Guarded<QString> GlobalVars::baseUrl{QString::fromLatin1(kDefaultBaseUrl)};
Guarded<QString> GlobalVars::iniPath;
Guarded<QString> GlobalVars::dataFolder{QStringLiteral("data")};
Guarded<QString> GlobalVars::appVersion{QStringLiteral("1.0")};
Guarded<QString> GlobalVars::version{QStringLiteral("1.0")};
Guarded<QString> GlobalVars::titleFormat{QString::fromUtf8("velmora%1 - 程序化交易(CTP版)")};
Guarded<QString> GlobalVars::userProductInfo{QStringLiteral("velmora_beta")};
Guarded<QString> GlobalVars::startStamp{loadStamp()};
Guarded<QString> GlobalVars::accountType{QStringLiteral("simulation")};
Guarded<QString> GlobalVars::username;
Guarded<QString> GlobalVars::password;
Guarded<QString> GlobalVars::token;
Guarded<QString> GlobalVars::loginCode;
std::atomic<bool> GlobalVars::state{false};
std::atomic<double> GlobalVars::profit{0.0};
std::atomic<double> GlobalVars::maxCapital{0.0};
Guarded<QString> GlobalVars::brokerID;
Guarded<QString> GlobalVars::investerID;
Guarded<QString> GlobalVars::investerPassword;
Guarded<QString> GlobalVars::instrument;
Guarded<QString> GlobalVars::name;
Guarded<QString> GlobalVars::mdAddress;
Guarded<QString> GlobalVars::tdAddress;
Guarded<QString> GlobalVars::appID;
Guarded<QString> GlobalVars::authCode;
std::atomic<int> GlobalVars::leverage{0};
std::atomic<int> GlobalVars::signalTimerSeconds{0};
std::atomic<int> GlobalVars::tokenTimerSeconds{0};
QStringList GlobalVars::signalIds;

std::atomic<int> GlobalVars::strategyState{-1};
std::atomic<int> GlobalVars::tradeConnectionState{-1};
std::atomic<int> GlobalVars::tradeLoginState{-1};
std::atomic<int> GlobalVars::mdLoginState{-1};
std::atomic<int> GlobalVars::requestID{100};
std::atomic<int> GlobalVars::frontID{0};
std::atomic<int> GlobalVars::sessionID{0};
std::atomic<int> GlobalVars::maxOrderRef{0};
std::atomic<int> GlobalVars::pendingRequest{0};

Guarded<QString> GlobalVars::instrumentName;
Guarded<QString> GlobalVars::exchangeID;
Guarded<QString> GlobalVars::openDate;
Guarded<QString> GlobalVars::expireDate;
Guarded<QString> GlobalVars::underlyingInstrID;
std::atomic<int> GlobalVars::volumeMultiple{0};
std::atomic<double> GlobalVars::priceTick{0.0};
std::atomic<double> GlobalVars::underlyingMultiple{0.0};
std::atomic<int> GlobalVars::maxLimitOrderVolume{0};
std::atomic<double> GlobalVars::longMarginRatio{0.0};
std::atomic<double> GlobalVars::shortMarginRatio{0.0};
std::atomic<bool> GlobalVars::isTrading{false};
std::atomic<char> GlobalVars::instLifePhase{'0'};
std::atomic<char> GlobalVars::positionType{'2'};

std::atomic<double> GlobalVars::lastPrice{0.0};
std::atomic<double> GlobalVars::openPrice{0.0};
std::atomic<double> GlobalVars::preClosePrice{0.0};
std::atomic<double> GlobalVars::closePrice{0.0};
std::atomic<double> GlobalVars::highestPrice{0.0};
std::atomic<double> GlobalVars::lowestPrice{0.0};
std::atomic<double> GlobalVars::upperLimitPrice{0.0};
std::atomic<double> GlobalVars::lowerLimitPrice{0.0};
std::atomic<double> GlobalVars::bidPrice1{0.0};
std::atomic<double> GlobalVars::askPrice1{0.0};
std::atomic<double> GlobalVars::turnover{0.0};
std::atomic<double> GlobalVars::openInterest{0.0};
std::atomic<int> GlobalVars::bidVolume1{0};
std::atomic<int> GlobalVars::askVolume1{0};
std::atomic<int> GlobalVars::volume{0};

std::atomic<double> GlobalVars::currMargin{0.0};
std::atomic<double> GlobalVars::available{0.0};
std::atomic<double> GlobalVars::exchangeMargin{0.0};

std::atomic<int> GlobalVars::longPosition{0};
std::atomic<int> GlobalVars::longTodayPosition{0};
std::atomic<int> GlobalVars::longYdPosition{0};
std::atomic<int> GlobalVars::longOpenVolume{0};
std::atomic<int> GlobalVars::longCloseVolume{0};
std::atomic<double> GlobalVars::longOpenAmount{0.0};
std::atomic<double> GlobalVars::longCloseAmount{0.0};
std::atomic<double> GlobalVars::longPositionProfit{0.0};
std::atomic<double> GlobalVars::longCloseProfit{0.0};
std::atomic<double> GlobalVars::longPositionCost{0.0};
std::atomic<int> GlobalVars::shortPosition{0};
std::atomic<int> GlobalVars::shortTodayPosition{0};
std::atomic<int> GlobalVars::shortYdPosition{0};
std::atomic<int> GlobalVars::shortOpenVolume{0};
std::atomic<int> GlobalVars::shortCloseVolume{0};
std::atomic<double> GlobalVars::shortOpenAmount{0.0};
std::atomic<double> GlobalVars::shortCloseAmount{0.0};
std::atomic<double> GlobalVars::shortPositionProfit{0.0};
std::atomic<double> GlobalVars::shortCloseProfit{0.0};
std::atomic<double> GlobalVars::shortPositionCost{0.0};
std::atomic<bool> GlobalVars::positionQueryStart{true};

Guarded<QDateTime> GlobalVars::ctpConnectionTime{QDateTime::currentDateTime()};

void GlobalVars::clearPositionSums()
{
    longPosition = 0;
    longTodayPosition = 0;
    longYdPosition = 0;
    longOpenVolume = 0;
    longCloseVolume = 0;
    longOpenAmount = 0.0;
    longCloseAmount = 0.0;
    longPositionProfit = 0.0;
    longCloseProfit = 0.0;
    longPositionCost = 0.0;
    shortPosition = 0;
    shortTodayPosition = 0;
    shortYdPosition = 0;
    shortOpenVolume = 0;
    shortCloseVolume = 0;
    shortOpenAmount = 0.0;
    shortCloseAmount = 0.0;
    shortPositionProfit = 0.0;
    shortCloseProfit = 0.0;
    shortPositionCost = 0.0;
}

void GlobalVars::resetSession()
{
    strategyState = -1;
    accountType = QStringLiteral("simulation");
    loginCode = QString();
    token = QString();
    username = QString();
    password = QString();
    brokerID = QString();
    state = false;
    name = QString();
    investerID = QString();
    leverage = 0;
    profit = 0.0;
    maxCapital = 0.0;
    investerPassword = QString();
    mdAddress = QString();
    tdAddress = QString();
    appID = QString();
    authCode = QString();
    mdLoginState = -1;
    tradeConnectionState = -1;
    tradeLoginState = -1;
    frontID = 0;
    sessionID = 0;
    maxOrderRef = 0;
    pendingRequest = 0;
    {
        // requestID is only ever drawn under flowMutex; resetting it is a draw too.
        QMutexLocker locker(flowMutex);
        requestID = 100;
    }
    currMargin = 0.0;
    available = 0.0;
    exchangeMargin = 0.0;
    positionQueryStart = true;
    clearPositionSums();
    instrument = QString();
    instrumentName = QString();
    exchangeID = QString();
    openDate = QString();
    expireDate = QString();
    underlyingInstrID = QString();
    instLifePhase = '0';
    isTrading = false;
    positionType = '2';
    volumeMultiple = 0;
    underlyingMultiple = 0.0;
    priceTick = 0.0;
    maxLimitOrderVolume = 0;
    longMarginRatio = 0.0;
    shortMarginRatio = 0.0;
}

int nextRequestID()
{
    QMutexLocker locker(GlobalVars::flowMutex);
    const int current = GlobalVars::requestID;
    const int next = current < 1000000 ? current + 1 : 101;
    GlobalVars::requestID = next;
    return next;
}
