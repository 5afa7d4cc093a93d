#include "tradeservice.h"

#include "clock.h"
#include "fieldtext.h"
#include "flowpath.h"
#include "globalvars.h"
#include "mdservice.h"
#include "requesttexts.h"
#include "signalobject.h"
#include "tradespi.h"
#include "utils.h"

#include <ThostFtdcTraderApi.h>

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMutexLocker>

#include <optional>

namespace {

bool isError(const CThostFtdcRspInfoField *pRspInfo)
{
    return pRspInfo && pRspInfo->ErrorID != 0;
}

// The quiet confirmation of a new trading day's statement after a re-login.
const int kDayConfirmation = 13;
// Refusals that a login repeated by itself would only make worse: the broker locks the account
// after a few wrong passwords.
const int kInvalidLogin = 3;
const int kLoginForbidden = 75;

bool isSequence(int requestNo)
{
    return requestNo == 11 || requestNo == 12;
}

// The quiet sequences show no completion lines.
bool isQuiet(int requestNo)
{
    return requestNo == 12 || requestNo == 21 || requestNo == kDayConfirmation;
}

template <std::size_t N> QString gbText(const char (&field)[N])
{
    return Utils::fromGb2312(fieldBytes(field));
}

template <std::size_t N> QString trimmedId(const char (&field)[N])
{
    const std::string bytes = fieldBytes(field);
    return QString::fromLatin1(bytes.data(), static_cast<int>(bytes.size())).trimmed();
}

template <class... Args>
void notify(QObject *receiver, const char *signal, const char *slot, Args... args)
{
    auto *relay = new SignalObject(receiver, signal, slot);
    emit relay->sendSignal(args...);
    relay->dispose();
}

void storeInstrument(const CThostFtdcInstrumentField &record)
{
    GlobalVars::exchangeID = gbText(record.ExchangeID);
    GlobalVars::instrumentName = gbText(record.InstrumentName);
    GlobalVars::openDate = gbText(record.OpenDate);
    GlobalVars::expireDate = gbText(record.ExpireDate);
    GlobalVars::instLifePhase = record.InstLifePhase;
    GlobalVars::isTrading = record.IsTrading != 0;
    GlobalVars::positionType = record.PositionType;
    GlobalVars::volumeMultiple = record.VolumeMultiple;
    GlobalVars::underlyingInstrID = gbText(record.UnderlyingInstrID);
    GlobalVars::underlyingMultiple = record.UnderlyingMultiple;
    GlobalVars::priceTick = record.PriceTick;
    GlobalVars::maxLimitOrderVolume = record.MaxLimitOrderVolume;
    GlobalVars::longMarginRatio = Utils::validDouble(record.LongMarginRatio);
    GlobalVars::shortMarginRatio = Utils::validDouble(record.ShortMarginRatio);
}

// A fresh API object on the callback object kept across starts; the failure's code, if any.
std::optional<int> startApi()
{
    const QString flowPath = tdFlowPath();
    if (!QDir(flowPath).exists()) {
        return -1;
    }
    if (!GlobalVars::tradeSpi) {
        GlobalVars::tradeSpi = new TradeSpi;
    }
    // The folder's name as the file system spells it, so the library finds the folder made
    // above even when the user's name is not Latin-1.
    const QByteArray flow = QFile::encodeName(flowPath);
    CThostFtdcTraderApi *api = CThostFtdcTraderApi::CreateFtdcTraderApi(flow.constData());
    if (!api) {
        return -1;
    }
    TradeSpi::api().put(api);
    api->RegisterSpi(GlobalVars::tradeSpi);
    api->SubscribePublicTopic(THOST_TERT_RESTART);
    api->SubscribePrivateTopic(THOST_TERT_RESTART);
    QByteArray address = static_cast<QString>(GlobalVars::tdAddress).toLatin1();
    api->RegisterFront(address.data());
    api->Init();
    return std::nullopt;
}

} // namespace

TradeService::~TradeService()
{
    // A step of a chain may still run and use what is destroyed below.
    chain.stop();
    std::lock_guard<std::mutex> lock(messageMutex);
    delete messageRelay;
}

void TradeService::releaseApi()
{
    chain.stop();
    if (CThostFtdcTraderApi *api = TradeSpi::api().take()) {
        api->Release();
    }
    // No answer of the old connection comes any more; the next login's sequence queries the
    // position and the account anew.
    ++fillRefreshGeneration;
    fillRefreshRunning = false;
    fillRefreshAgain = false;
    fillRefreshOwed = false;
    positions.discard();
    waitingFills.clear();
    int orderInFlight = kFillRefresh;
    GlobalVars::pendingRequest.compare_exchange_strong(orderInFlight, 0);
}

int TradeService::init()
{
    releaseApi();
    QMutexLocker locker(&mutex);
    chain.resume();
    if (GlobalVars::mdService) {
        GlobalVars::mdService->init();
    }
    std::optional<int> failure;
    try {
        failure = startApi();
    } catch (int raised) {
        failure = raised;
    }
    if (failure) {
        showMessage(QStringLiteral("[错误] 连接CTP服务器时发生错误，请检查网络：%1").arg(*failure));
        qCritical() << "[CTP交易连接] 初始化连接时发生错误，请检查网络：" << *failure;
        return -1;
    }
    qCritical() << "[CTP交易连接] 初始化连接";
    return 0;
}

void TradeService::release()
{
    reloginWanted = false;
    session.reset();
    chain.stop();
    if (GlobalVars::mdService) {
        GlobalVars::mdService->release();
    }
    releaseApi();
    QMutexLocker locker(&mutex);
    // Only now: the API object called the callback object up to its Release().
    delete GlobalVars::tradeSpi.exchange(nullptr);
}

bool TradeService::pauseChain()
{
    return chain.wait(chainDelayMs);
}

int TradeService::request(int (*send)(int), int requestNo, const char *failureText)
{
    QMutexLocker locker(&mutex);
    const int code = send(requestNo);
    if (code != 0) {
        showMessage(QString::fromUtf8(failureText).arg(code).arg(requestResultText(code)));
    }
    return code;
}

int TradeService::reqUserLogin(int requestNo)
{
    QMutexLocker locker(&mutex);
    GlobalVars::pendingRequest = requestNo;
    const TerminalIdentity terminal = TerminalIdentity::current();
    if (terminal.authenticates()) {
        // The login follows the answer under the same number, so its sequence carries on.
        const int code = TradeSpi::reqAuthenticate(requestNo, terminal);
        if (code != 0) {
            showMessage(QStringLiteral("[客户端认证] 请求失败：[%1] %2")
                            .arg(code)
                            .arg(requestResultText(code)));
        }
        return code;
    }
    return sendLogin(requestNo, terminal);
}

void TradeService::onRspAuthenticate(CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
{
    // A terminal the broker does not know gets no login: it would only be refused, and count
    // towards the account's lockout.
    if (isError(pRspInfo)) {
        loginRefused(QStringLiteral("[客户端认证] 返回码：%1，返回信息：%2"), *pRspInfo);
        return;
    }
    if (!bIsLast) {
        return;
    }
    QMutexLocker locker(&mutex);
    sendLogin(nRequestID, TerminalIdentity::current());
}

int TradeService::sendLogin(int requestNo, const TerminalIdentity &terminal)
{
    const int code = TradeSpi::reqUserLogin(requestNo, terminal);
    if (code != 0) {
        showMessage(
            QStringLiteral("[用户登录] 请求失败：[%1] %2").arg(code).arg(requestResultText(code)));
    }
    return code;
}

int TradeService::reqUserLogout(int requestNo)
{
    QMutexLocker locker(&mutex);
    GlobalVars::pendingRequest = 0;
    const int code = TradeSpi::reqUserLogout(requestNo);
    if (code != 0) {
        showMessage(
            QStringLiteral("[退出登录] 请求失败：[%1] %2").arg(code).arg(requestResultText(code)));
    }
    return code;
}

int TradeService::logout()
{
    return reqUserLogout(nextRequestID());
}

int TradeService::reqSettlementInfoConfirm(int requestNo)
{
    return request(TradeSpi::reqSettlementInfoConfirm, requestNo,
                   "[结算单确认] 请求失败：[%1] %2。可以手动确认结算单");
}

int TradeService::reqQrySettlementInfo(int requestNo)
{
    settlement.clear();
    return request(TradeSpi::reqQrySettlementInfo, requestNo,
                   "[结算单] 请求失败：[%1] %2。可以手动查看结算单信息");
}

int TradeService::querySettlementInfo()
{
    return reqQrySettlementInfo(nextRequestID());
}

int TradeService::reqQryInstrument(int requestNo)
{
    return request(TradeSpi::reqQryInstrument, requestNo,
                   "[查询合约] 请求失败：[%1] %2。可以手动刷新合约信息");
}

int TradeService::reqQryInvestorPosition(int requestNo)
{
    return request(TradeSpi::reqQryInvestorPosition, requestNo, kPositionFailure);
}

int TradeService::reqQryTradingAccount(int requestNo)
{
    return request(TradeSpi::reqQryTradingAccount, requestNo, kAccountFailure);
}

int TradeService::queryInstrument()
{
    return reqQryInstrument(nextRequestID());
}

int TradeService::queryPosition()
{
    return reqQryInvestorPosition(nextRequestID());
}

int TradeService::queryAccount()
{
    return reqQryTradingAccount(nextRequestID());
}

void TradeService::showMessage(QString text)
{
    // One relay for every thread, so the lines keep the order in which they were written.
    std::lock_guard<std::mutex> lock(messageMutex);
    QObject *window = SignalObject::mainWindow();
    if (!messageRelay || messageRelay->receiverObject() != window) {
        if (messageRelay) {
            messageRelay->dispose();
        }
        messageRelay = new SignalObject(window, SIGNAL(sendSignal(QString)), SLOT(append(QString)));
        // Made on a callback thread, it would belong to a thread that ends with its API object.
        if (QCoreApplication *application = QCoreApplication::instance()) {
            messageRelay->moveToThread(application->thread());
        }
    }
    emit messageRelay->sendSignal(text);
}

void TradeService::setWindows(QObject *dialog, QObject *window)
{
    const auto keep = [this](std::atomic<QObject *> &slot, QObject *object) {
        slot = object;
        if (object) {
            connect(object, &QObject::destroyed, this, [&slot, object] {
                QObject *expected = object;
                slot.compare_exchange_strong(expected, nullptr);
            });
        }
    };
    keep(loginDialog, dialog);
    keep(messageWindow, window);
}

void TradeService::onFrontConnected()
{
    SessionStore::noteConnection(QStringLiteral("交易前置"), QStringLiteral("已连接"));
    GlobalVars::ctpConnectionTime = Clock::now();
    const bool first = GlobalVars::tradeConnectionState.exchange(0) == -1;
    notify(SignalObject::mainWindow(), SIGNAL(sendSignal(bool)), SLOT(setConnectionState(bool)),
           first);
    if (GlobalVars::pendingRequest == 1) {
        GlobalVars::pendingRequest = 0;
        showMessage(QStringLiteral("[CTP连接] ") +
                    connectionStateText(GlobalVars::tradeConnectionState));
    }
    // Logged in when the connection dropped: the front forgot the session.
    if (reloginWanted && GlobalVars::tradeLoginState != -1) {
        reqUserLogin(GlobalVars::pendingRequest);
    }
}

void TradeService::onFrontDisconnected(int nReason)
{
    SessionStore::noteConnection(QStringLiteral("交易前置"), disconnectionText(nReason));
    session.connectionLost();
    positions.discard();
    if (fillRefreshRunning.exchange(false)) {
        ++fillRefreshGeneration;
        fillRefreshOwed = true;
    }
    fillRefreshAgain = false;
    // The order's outcome comes with the flow replayed after the re-login, which numbers its
    // requests by what is pending; an order is no sequence to run again.
    int orderInFlight = kFillRefresh;
    GlobalVars::pendingRequest.compare_exchange_strong(orderInFlight, 0);
    GlobalVars::tradeConnectionState = 3;
    notify(SignalObject::mainWindow(), SIGNAL(sendSignal(bool)), SLOT(setConnectionState(bool)),
           false);
}

void TradeService::onRspUserLogin(CThostFtdcRspUserLoginField *pRspUserLogin,
                                  CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
{
    if (isError(pRspInfo)) {
        loginRefused(QStringLiteral("[登录] 返回码：%1,，返回信息：%2"), *pRspInfo);
        return;
    }
    if (!bIsLast) {
        return;
    }
    notify(loginDialog.load(), SIGNAL(sendSignal()), SLOT(closeWindow()));
    bool newDay = false;
    if (pRspUserLogin) {
        const std::string tradingDay = fieldBytes(pRspUserLogin->TradingDay);
        newDay = session.loggedIn(tradingDay);
        if (!positionDay.empty() && tradingDay != positionDay) {
            PositionSeries::rollDay();
        }
        positionDay = tradingDay;
        reloginWanted = true;
        GlobalVars::frontID = pRspUserLogin->FrontID;
        GlobalVars::sessionID = pRspUserLogin->SessionID;
        bool number = false;
        const int maxOrderRef = trimmedId(pRspUserLogin->MaxOrderRef).toInt(&number, 10);
        GlobalVars::maxOrderRef = (number ? maxOrderRef : 0) + 1;
        const bool first = GlobalVars::tradeConnectionState == -1;
        GlobalVars::tradeLoginState = 0;
        notify(SignalObject::mainWindow(), SIGNAL(sendSignal(bool)), SLOT(setLoginState(bool)),
               first);
        if (nRequestID == 11) {
            showMessage(QStringLiteral("[交易账户登录] ") +
                        loginStateText(GlobalVars::tradeLoginState));
        }
    }
    if (GlobalVars::mdService) {
        GlobalVars::mdService->reqUserLogin(nRequestID);
    }
    // A sequence queries the position and the account anyway.
    const bool refreshOwed = fillRefreshOwed.exchange(false);
    if (isSequence(nRequestID)) {
        if (pauseChain()) {
            reqSettlementInfoConfirm(nRequestID);
        }
        return;
    }
    if (refreshOwed) {
        startFillRefresh();
    }
    if (newDay) {
        // Back after the broker's outage on a new trading day, whose orders the broker refuses
        // until its statement is confirmed: confirmed at once, as the reconnection does.
        reqSettlementInfoConfirm(kDayConfirmation);
    }
}

void TradeService::loginRefused(const QString &line, const CThostFtdcRspInfoField &info)
{
    GlobalVars::pendingRequest = 0;
    showMessage(line.arg(info.ErrorID).arg(gbText(info.ErrorMsg)));
    const bool mayRetry = info.ErrorID != kInvalidLogin && info.ErrorID != kLoginForbidden;
    if (!mayRetry) {
        reloginWanted = false;
    }
    int loggedIn = 0;
    if (!GlobalVars::tradeLoginState.compare_exchange_strong(loggedIn, 3)) {
        return;
    }
    notify(SignalObject::mainWindow(), SIGNAL(sendSignal(bool)), SLOT(setLoginState(bool)), false);
    showMessage(mayRetry ? QStringLiteral("[交易账户登录] 重新登录被拒绝，交易账户未登录；"
                                          "连接恢复时将再次登录")
                         : QStringLiteral("[交易账户登录] 重新登录被拒绝，交易账户未登录；"
                                          "请核对密码后重新登录交易账户"));
}

void TradeService::onRspUserLogout(CThostFtdcUserLogoutField *pUserLogout,
                                   CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
{
    Q_UNUSED(pUserLogout);
    Q_UNUSED(bIsLast);
    if (isError(pRspInfo)) {
        GlobalVars::pendingRequest = 0;
        return;
    }
    if (GlobalVars::mdService) {
        GlobalVars::mdService->reqUserLogout(nRequestID);
    }
    session.loggedOut();
    reloginWanted = false;
    GlobalVars::tradeLoginState = 3;
    GlobalVars::pendingRequest = 0;
    notify(SignalObject::mainWindow(), SIGNAL(sendSignal(bool)), SLOT(setLoginState(bool)), false);
}

void TradeService::onRspSettlementInfoConfirm(
    CThostFtdcSettlementInfoConfirmField *pSettlementInfoConfirm, CThostFtdcRspInfoField *pRspInfo,
    int nRequestID, bool bIsLast)
{
    Q_UNUSED(pSettlementInfoConfirm);
    if (isError(pRspInfo)) {
        GlobalVars::pendingRequest = 0;
        return;
    }
    if (!bIsLast) {
        return;
    }
    session.confirmed();
    showMessage(QStringLiteral("[结算单确认] 完毕"));
    if (isSequence(nRequestID) && pauseChain()) {
        reqQryInstrument(nRequestID);
    } else if (nRequestID == kDayConfirmation) {
        // The new day's position and funds, as the broker settled them.
        startFillRefresh();
    }
}

void TradeService::onRspQrySettlementInfo(CThostFtdcSettlementInfoField *pSettlementInfo,
                                          CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                          bool bIsLast)
{
    Q_UNUSED(nRequestID);
    if (isError(pRspInfo)) {
        GlobalVars::pendingRequest = 0;
        settlement.clear();
        return;
    }
    if (!pSettlementInfo) {
        if (bIsLast) {
            settlement.clear();
        }
        return;
    }
    const QString text = settlement.append(fieldBytes(pSettlementInfo->Content), bIsLast);
    notify(messageWindow.load(), SIGNAL(sendSignal(bool, int, QString)),
           SLOT(appendMessageText(bool, int, QString)), bIsLast, 2, text);
}

void TradeService::onRspError(CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
{
    Q_UNUSED(nRequestID);
    Q_UNUSED(bIsLast);
    if (isError(pRspInfo)) {
        GlobalVars::pendingRequest = 0;
    }
}

void TradeService::onRspQryInstrument(CThostFtdcInstrumentField *pInstrument,
                                      CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                      bool bIsLast)
{
    if (isError(pRspInfo)) {
        GlobalVars::pendingRequest = 0;
        return;
    }
    if (pInstrument && trimmedId(pInstrument->InstrumentID) == GlobalVars::instrument.get()) {
        storeInstrument(*pInstrument);
    }
    notify(SignalObject::mainWindow(), SIGNAL(sendSignal()), SLOT(setTableInstrument()));
    if (!bIsLast) {
        return;
    }
    if (!isQuiet(nRequestID)) {
        showMessage(QStringLiteral("[查询合约] 完毕"));
    }
    if (isSequence(nRequestID) && pauseChain()) {
        reqQryInvestorPosition(nRequestID);
    }
}

void TradeService::onRspQryInvestorPosition(CThostFtdcInvestorPositionField *pInvestorPosition,
                                            CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                            bool bIsLast)
{
    if (isError(pRspInfo)) {
        GlobalVars::pendingRequest = 0;
        positions.discard();
        GlobalVars::positionQueryStart = bIsLast;
        endFillRefresh(nRequestID);
        return;
    }
    if (!pInvestorPosition) {
        positions.addNothing();
    } else if (trimmedId(pInvestorPosition->InstrumentID) == GlobalVars::instrument.get()) {
        positions.add(*pInvestorPosition);
    }
    if (bIsLast) {
        positions.complete();
    }
    notify(SignalObject::mainWindow(), SIGNAL(sendSignal()), SLOT(setTablePosition()));
    if (!bIsLast) {
        return;
    }
    if (!isQuiet(nRequestID)) {
        showMessage(QStringLiteral("[查询持仓] 完毕"));
    }
    if (nRequestID == kFillRefresh) {
        chainFillRefresh(TradeSpi::reqQryTradingAccount, kAccountFailure);
    } else if (isSequence(nRequestID) && pauseChain()) {
        reqQryTradingAccount(nRequestID);
    }
}

void TradeService::onRspQryTradingAccount(CThostFtdcTradingAccountField *pTradingAccount,
                                          CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                          bool bIsLast)
{
    if (isError(pRspInfo)) {
        GlobalVars::pendingRequest = 0;
        endFillRefresh(nRequestID);
        return;
    }
    if (pTradingAccount) {
        GlobalVars::currMargin = pTradingAccount->CurrMargin;
        GlobalVars::available = pTradingAccount->Available;
        GlobalVars::exchangeMargin = pTradingAccount->ExchangeMargin;
    }
    notify(SignalObject::mainWindow(), SIGNAL(sendSignal()), SLOT(setTableAccount()));
    if (!bIsLast) {
        return;
    }
    if (!isQuiet(nRequestID)) {
        showMessage(QStringLiteral("[查询资金账户] 完毕"));
    }
    if (nRequestID == kFillRefresh) {
        if (fillRefreshAgain.exchange(false)) {
            chainFillRefresh(TradeSpi::reqQryInvestorPosition, kPositionFailure);
        } else {
            endFillRefresh(nRequestID);
        }
    } else if (isSequence(nRequestID)) {
        GlobalVars::pendingRequest = 0;
    }
    int notStarted = -1;
    if (nRequestID == 11 && GlobalVars::strategyState.compare_exchange_strong(notStarted, 1)) {
        notify(SignalObject::mainWindow(), SIGNAL(sendSignal(bool)), SLOT(setStrategyState(bool)),
               true);
    }
}
