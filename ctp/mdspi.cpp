#include "mdspi.h"

#include "fieldtext.h"
#include "globalvars.h"
#include "requesttexts.h"
#include "rspinfo.h"
#include "sessionstore.h"
#include "signalobject.h"
#include "utils.h"

#include <QDebug>

namespace {

// The request number does not apply to subscriptions; one instrument per call.
template <class Request> int withInstrument(Request request)
{
    TThostFtdcOldInstrumentIDType buffer{};
    setFieldText(buffer, GlobalVars::instrument);
    char *ids[] = {buffer};
    return request(ids, 1);
}

int valid(int value)
{
    return static_cast<int>(Utils::validDouble(static_cast<double>(value)));
}

void copyQuote(const CThostFtdcDepthMarketDataField &tick)
{
    GlobalVars::lastPrice = Utils::validDouble(tick.LastPrice);
    GlobalVars::openPrice = Utils::validDouble(tick.OpenPrice);
    GlobalVars::closePrice = Utils::validDouble(tick.ClosePrice);
    GlobalVars::preClosePrice = Utils::validDouble(tick.PreClosePrice);
    GlobalVars::highestPrice = Utils::validDouble(tick.HighestPrice);
    GlobalVars::lowestPrice = Utils::validDouble(tick.LowestPrice);
    GlobalVars::upperLimitPrice = Utils::validDouble(tick.UpperLimitPrice);
    GlobalVars::lowerLimitPrice = Utils::validDouble(tick.LowerLimitPrice);
    GlobalVars::bidPrice1 = Utils::validDouble(tick.BidPrice1);
    GlobalVars::bidVolume1 = valid(tick.BidVolume1);
    GlobalVars::askPrice1 = Utils::validDouble(tick.AskPrice1);
    GlobalVars::askVolume1 = valid(tick.AskVolume1);
    GlobalVars::volume = valid(tick.Volume);
    GlobalVars::openInterest = Utils::validDouble(tick.OpenInterest);
    GlobalVars::turnover = Utils::validDouble(tick.Turnover);
}

} // namespace

ApiGuard<CThostFtdcMdApi> &MdSpi::api()
{
    static ApiGuard<CThostFtdcMdApi> guard(GlobalVars::mdApi);
    return guard;
}

void MdSpi::OnFrontConnected()
{
    // Logged in when the connection dropped: the front forgot the session, so log in again.
    // A first connection that comes after the trading login has missed the login that the
    // trading login sends, which found no connection; it logs in now.
    if (GlobalVars::mdLoginState == 0 || GlobalVars::tradeLoginState == 0) {
        reqUserLogin(12);
    }
    qCritical() << "[行情] 连接成功";
    SessionStore::noteConnection(QStringLiteral("行情前置"), QStringLiteral("已连接"));
}

void MdSpi::OnFrontDisconnected(int nReason)
{
    qCritical() << "[行情] 已断开";
    SessionStore::noteConnection(QStringLiteral("行情前置"), disconnectionText(nReason));
}

void MdSpi::OnHeartBeatWarning(int nTimeLapse)
{
    Q_UNUSED(nTimeLapse);
}

void MdSpi::OnRspUserLogin(CThostFtdcRspUserLoginField *pRspUserLogin,
                           CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
{
    Q_UNUSED(nRequestID);
    const bool failed = pRspInfo && pRspInfo->ErrorID != 0;
    if (!failed && bIsLast) {
        withInstrument(subscribeMarketData);
        if (pRspUserLogin) {
            GlobalVars::mdLoginState = 0;
        }
    }
    if (bIsLast && pRspInfo) {
        logRspInfo("[行情登录] 返回码：", *pRspInfo);
    }
}

void MdSpi::OnRspUserLogout(CThostFtdcUserLogoutField *pUserLogout,
                            CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
{
    Q_UNUSED(pUserLogout);
    Q_UNUSED(nRequestID);
    const bool failed = pRspInfo && pRspInfo->ErrorID != 0;
    if (!failed && bIsLast) {
        GlobalVars::mdLoginState = 3;
    }
    withInstrument(unSubscribeMarketData);
    if (bIsLast && pRspInfo) {
        logRspInfo("[行情退出登录] 返回码：", *pRspInfo);
    }
}

void MdSpi::OnRspError(CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
{
    Q_UNUSED(nRequestID);
    Q_UNUSED(bIsLast);
    isErrorRspInfo(pRspInfo);
}

void MdSpi::OnRspSubMarketData(CThostFtdcSpecificInstrumentField *pSpecificInstrument,
                               CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
{
    Q_UNUSED(pSpecificInstrument);
    Q_UNUSED(nRequestID);
    if (bIsLast && pRspInfo && pRspInfo->ErrorID != 0) {
        logRspInfo("[行情订阅应答] 返回码：", *pRspInfo);
    }
}

void MdSpi::OnRspUnSubMarketData(CThostFtdcSpecificInstrumentField *pSpecificInstrument,
                                 CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
{
    Q_UNUSED(pSpecificInstrument);
    Q_UNUSED(nRequestID);
    if (bIsLast && pRspInfo) {
        logRspInfo("[行情退订应答] 返回码：", *pRspInfo);
    }
}

void MdSpi::OnRtnDepthMarketData(CThostFtdcDepthMarketDataField *pDepthMarketData)
{
    if (!pDepthMarketData) {
        return;
    }
    const std::string id = fieldBytes(pDepthMarketData->InstrumentID);
    if (QString::fromLatin1(id.data(), static_cast<int>(id.size())).trimmed() ==
        GlobalVars::instrument.get()) {
        copyQuote(*pDepthMarketData);
    }
    auto *relay = new SignalObject(SIGNAL(sendSignal()), SLOT(setTableInstrument()));
    emit relay->sendSignal();
    relay->dispose();
}

int MdSpi::reqUserLogin(int requestNo)
{
    CThostFtdcReqUserLoginField login{};
    setFieldText(login.BrokerID, GlobalVars::brokerID);
    setFieldText(login.UserID, GlobalVars::investerID);
    setFieldText(login.Password, GlobalVars::investerPassword);
    setFieldText(login.UserProductInfo, GlobalVars::userProductInfo);
    const int code =
        api().use([&](CThostFtdcMdApi *md) { return md->ReqUserLogin(&login, requestNo); });
    qCritical() << "[行情登录] 发送请求，返回码：" << code;
    return code;
}

int MdSpi::reqUserLogout(int requestNo)
{
    CThostFtdcUserLogoutField logout{};
    setFieldText(logout.BrokerID, GlobalVars::brokerID);
    setFieldText(logout.UserID, GlobalVars::investerID);
    const int code =
        api().use([&](CThostFtdcMdApi *md) { return md->ReqUserLogout(&logout, requestNo); });
    qCritical() << "[行情退出登录] 发送请求，返回码：" << code;
    return code;
}

int MdSpi::subscribeMarketData(char *ppInstrumentID[], int nCount)
{
    const int code = api().use(
        [&](CThostFtdcMdApi *md) { return md->SubscribeMarketData(ppInstrumentID, nCount); });
    qCritical() << "[行情订阅] 发送请求，返回码：" << code;
    return code;
}

int MdSpi::unSubscribeMarketData(char *ppInstrumentID[], int nCount)
{
    const int code = api().use(
        [&](CThostFtdcMdApi *md) { return md->UnSubscribeMarketData(ppInstrumentID, nCount); });
    qCritical() << "[行情退订] 发送请求，返回码：" << code;
    return code;
}
