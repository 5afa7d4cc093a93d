#include "tradespi.h"

#include "fieldtext.h"
#include "globalvars.h"
#include "rspinfo.h"
#include "tradeservice.h"

#include <QDebug>

namespace {

TradeService *service()
{
    return GlobalVars::tradeService;
}

void logLast(const char *tag, CThostFtdcRspInfoField *pRspInfo, bool bIsLast)
{
    if (bIsLast && pRspInfo) {
        logRspInfo(tag, *pRspInfo);
    }
}

template <class Request> int send(const char *label, Request request)
{
    const int code = TradeSpi::api().use(request);
    qCritical() << label << code;
    return code;
}

} // namespace

ApiGuard<CThostFtdcTraderApi> &TradeSpi::api()
{
    static ApiGuard<CThostFtdcTraderApi> guard(GlobalVars::tradeApi);
    return guard;
}

void TradeSpi::OnFrontConnected()
{
    service()->onFrontConnected();
    qCritical() << "[CTP连接] 连接成功";
}

void TradeSpi::OnFrontDisconnected(int nReason)
{
    service()->onFrontDisconnected(nReason);
    qCritical() << "[CTP连接] 已断开";
}

void TradeSpi::OnHeartBeatWarning(int nTimeLapse)
{
    Q_UNUSED(nTimeLapse);
}

void TradeSpi::OnRspAuthenticate(CThostFtdcRspAuthenticateField *pRspAuthenticateField,
                                 CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
{
    Q_UNUSED(pRspAuthenticateField);
    service()->onRspAuthenticate(pRspInfo, nRequestID, bIsLast);
    logLast("[客户端认证] 返回码：", pRspInfo, bIsLast);
}

void TradeSpi::OnRspUserLogin(CThostFtdcRspUserLoginField *pRspUserLogin,
                              CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
{
    service()->onRspUserLogin(pRspUserLogin, pRspInfo, nRequestID, bIsLast);
    logLast("[登录] 返回码：", pRspInfo, bIsLast);
}

void TradeSpi::OnRspUserLogout(CThostFtdcUserLogoutField *pUserLogout,
                               CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
{
    service()->onRspUserLogout(pUserLogout, pRspInfo, nRequestID, bIsLast);
    logLast("[退出登录] 返回码：", pRspInfo, bIsLast);
}

void TradeSpi::OnRspOrderInsert(CThostFtdcInputOrderField *pInputOrder,
                                CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
{
    service()->onRspOrderInsert(pInputOrder, pRspInfo, nRequestID, bIsLast);
    logLast("[报单录入错误] 返回码：", pRspInfo, bIsLast);
}

void TradeSpi::OnRspOrderAction(CThostFtdcInputOrderActionField *pInputOrderAction,
                                CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
{
    service()->onRspOrderAction(pInputOrderAction, pRspInfo, nRequestID, bIsLast);
    logLast("[撤单响应] 返回码：", pRspInfo, bIsLast);
}

void TradeSpi::OnRspSettlementInfoConfirm(
    CThostFtdcSettlementInfoConfirmField *pSettlementInfoConfirm, CThostFtdcRspInfoField *pRspInfo,
    int nRequestID, bool bIsLast)
{
    service()->onRspSettlementInfoConfirm(pSettlementInfoConfirm, pRspInfo, nRequestID, bIsLast);
    logLast("[结算单确认] 返回码：", pRspInfo, bIsLast);
}

void TradeSpi::OnRspQryTrade(CThostFtdcTradeField *pTrade, CThostFtdcRspInfoField *pRspInfo,
                             int nRequestID, bool bIsLast)
{
    Q_UNUSED(nRequestID);
    Q_UNUSED(bIsLast);
    qDebug() << ">>>>> 成交返回：";
    qDebug() << "pTrade：" << (pTrade == nullptr);
    isErrorRspInfo(pRspInfo);
}

void TradeSpi::OnRspQryInvestorPosition(CThostFtdcInvestorPositionField *pInvestorPosition,
                                        CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                        bool bIsLast)
{
    service()->onRspQryInvestorPosition(pInvestorPosition, pRspInfo, nRequestID, bIsLast);
    logLast("[查询持仓] 返回码：", pRspInfo, bIsLast);
}

void TradeSpi::OnRspQryTradingAccount(CThostFtdcTradingAccountField *pTradingAccount,
                                      CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                      bool bIsLast)
{
    service()->onRspQryTradingAccount(pTradingAccount, pRspInfo, nRequestID, bIsLast);
    logLast("[查询资金账户] 返回码：", pRspInfo, bIsLast);
}

void TradeSpi::OnRspQryInstrument(CThostFtdcInstrumentField *pInstrument,
                                  CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
{
    service()->onRspQryInstrument(pInstrument, pRspInfo, nRequestID, bIsLast);
    logLast("[查询合约] 返回码：", pRspInfo, bIsLast);
}

void TradeSpi::OnRspQrySettlementInfo(CThostFtdcSettlementInfoField *pSettlementInfo,
                                      CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                      bool bIsLast)
{
    service()->onRspQrySettlementInfo(pSettlementInfo, pRspInfo, nRequestID, bIsLast);
    logLast("[查询结算单] 返回码：", pRspInfo, bIsLast);
}

void TradeSpi::OnRspError(CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
{
    isErrorRspInfo(pRspInfo);
    service()->onRspError(pRspInfo, nRequestID, bIsLast);
}

void TradeSpi::OnRtnOrder(CThostFtdcOrderField *pOrder)
{
    service()->onRtnOrder(pOrder);
}

void TradeSpi::OnRtnTrade(CThostFtdcTradeField *pTrade)
{
    service()->onRtnTrade(pTrade);
}

void TradeSpi::OnErrRtnOrderInsert(CThostFtdcInputOrderField *pInputOrder,
                                   CThostFtdcRspInfoField *pRspInfo)
{
    service()->onErrRtnOrderInsert(pInputOrder, pRspInfo);
}

void TradeSpi::OnErrRtnOrderAction(CThostFtdcOrderActionField *pOrderAction,
                                   CThostFtdcRspInfoField *pRspInfo)
{
    service()->onErrRtnOrderAction(pOrderAction, pRspInfo);
}

int TradeSpi::reqAuthenticate(int requestNo, const TerminalIdentity &terminal)
{
    CThostFtdcReqAuthenticateField authentication{};
    setFieldText(authentication.BrokerID, GlobalVars::brokerID);
    setFieldText(authentication.UserID, GlobalVars::investerID);
    setFieldText(authentication.UserProductInfo, terminal.productInfo);
    setFieldText(authentication.AuthCode, terminal.authCode);
    setFieldText(authentication.AppID, terminal.appId);
    return send("[客户端认证] 发送请求，返回码：", [&](CThostFtdcTraderApi *td) {
        return td->ReqAuthenticate(&authentication, requestNo);
    });
}

int TradeSpi::reqUserLogin(int requestNo, const TerminalIdentity &terminal)
{
    CThostFtdcReqUserLoginField login{};
    setFieldText(login.BrokerID, GlobalVars::brokerID);
    setFieldText(login.UserID, GlobalVars::investerID);
    setFieldText(login.Password, GlobalVars::investerPassword);
    setFieldText(login.UserProductInfo, terminal.productInfo);
    return send("[登录] 发送请求，返回码：",
                [&](CThostFtdcTraderApi *td) { return td->ReqUserLogin(&login, requestNo); });
}

int TradeSpi::reqUserLogout(int requestNo)
{
    CThostFtdcUserLogoutField logout{};
    setFieldText(logout.BrokerID, GlobalVars::brokerID);
    setFieldText(logout.UserID, GlobalVars::investerID);
    return send("[退出登录] 发送请求，返回码：",
                [&](CThostFtdcTraderApi *td) { return td->ReqUserLogout(&logout, requestNo); });
}

int TradeSpi::reqSettlementInfoConfirm(int requestNo)
{
    CThostFtdcSettlementInfoConfirmField confirm{};
    setFieldText(confirm.BrokerID, GlobalVars::brokerID);
    setFieldText(confirm.InvestorID, GlobalVars::investerID);
    return send("[结算单确认] 发送请求，返回码：", [&](CThostFtdcTraderApi *td) {
        return td->ReqSettlementInfoConfirm(&confirm, requestNo);
    });
}

int TradeSpi::reqQrySettlementInfo(int requestNo)
{
    CThostFtdcQrySettlementInfoField query{};
    setFieldText(query.BrokerID, GlobalVars::brokerID);
    setFieldText(query.InvestorID, GlobalVars::investerID);
    return send("[查询结算单] 发送请求，返回码：", [&](CThostFtdcTraderApi *td) {
        return td->ReqQrySettlementInfo(&query, requestNo);
    });
}

int TradeSpi::reqQryInstrument(int requestNo)
{
    CThostFtdcQryInstrumentField query{};
    setFieldText(query.InstrumentID, GlobalVars::instrument);
    return send("[查询合约] 发送请求，返回码：",
                [&](CThostFtdcTraderApi *td) { return td->ReqQryInstrument(&query, requestNo); });
}

int TradeSpi::reqQryInvestorPosition(int requestNo)
{
    CThostFtdcQryInvestorPositionField query{};
    setFieldText(query.BrokerID, GlobalVars::brokerID);
    setFieldText(query.InvestorID, GlobalVars::investerID);
    return send("[查询持仓] 发送请求，返回码：", [&](CThostFtdcTraderApi *td) {
        return td->ReqQryInvestorPosition(&query, requestNo);
    });
}

int TradeSpi::reqQryTradingAccount(int requestNo)
{
    CThostFtdcQryTradingAccountField query{};
    setFieldText(query.BrokerID, GlobalVars::brokerID);
    setFieldText(query.InvestorID, GlobalVars::investerID);
    return send("[查询资金账户] 发送请求，返回码：", [&](CThostFtdcTraderApi *td) {
        return td->ReqQryTradingAccount(&query, requestNo);
    });
}

int TradeSpi::reqOrderInsert(CThostFtdcInputOrderField &order, int requestNo)
{
    return send("[报单] 发送请求，返回码：",
                [&](CThostFtdcTraderApi *td) { return td->ReqOrderInsert(&order, requestNo); });
}
