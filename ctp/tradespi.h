#pragma once

#include "apiguard.h"
#include "terminalidentity.h"

#include <ThostFtdcTraderApi.h>

// The trading library's callbacks, on the library's own thread: each is handed to the one
// TradeService, then the response is logged. Also the record builders of the trading requests,
// which the service calls under its lock. Final: release() deletes it through its own type.
class TradeSpi final : public CThostFtdcTraderSpi
{
public:
    void OnFrontConnected() override;
    void OnFrontDisconnected(int nReason) override;
    void OnHeartBeatWarning(int nTimeLapse) override;
    void OnRspAuthenticate(CThostFtdcRspAuthenticateField *pRspAuthenticateField,
                           CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast) override;
    void OnRspUserLogin(CThostFtdcRspUserLoginField *pRspUserLogin,
                        CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast) override;
    void OnRspUserLogout(CThostFtdcUserLogoutField *pUserLogout, CThostFtdcRspInfoField *pRspInfo,
                         int nRequestID, bool bIsLast) override;
    void OnRspOrderInsert(CThostFtdcInputOrderField *pInputOrder, CThostFtdcRspInfoField *pRspInfo,
                          int nRequestID, bool bIsLast) override;
    void OnRspOrderAction(CThostFtdcInputOrderActionField *pInputOrderAction,
                          CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast) override;
    void OnRspSettlementInfoConfirm(CThostFtdcSettlementInfoConfirmField *pSettlementInfoConfirm,
                                    CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                    bool bIsLast) override;
    void OnRspQryTrade(CThostFtdcTradeField *pTrade, CThostFtdcRspInfoField *pRspInfo,
                       int nRequestID, bool bIsLast) override;
    void OnRspQryInvestorPosition(CThostFtdcInvestorPositionField *pInvestorPosition,
                                  CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                  bool bIsLast) override;
    void OnRspQryTradingAccount(CThostFtdcTradingAccountField *pTradingAccount,
                                CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                bool bIsLast) override;
    void OnRspQryInstrument(CThostFtdcInstrumentField *pInstrument,
                            CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                            bool bIsLast) override;
    void OnRspQrySettlementInfo(CThostFtdcSettlementInfoField *pSettlementInfo,
                                CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                bool bIsLast) override;
    void OnRspError(CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast) override;
    void OnRtnOrder(CThostFtdcOrderField *pOrder) override;
    void OnRtnTrade(CThostFtdcTradeField *pTrade) override;
    void OnErrRtnOrderInsert(CThostFtdcInputOrderField *pInputOrder,
                             CThostFtdcRspInfoField *pRspInfo) override;
    void OnErrRtnOrderAction(CThostFtdcOrderActionField *pOrderAction,
                             CThostFtdcRspInfoField *pRspInfo) override;

    // Requests to the API object in GlobalVars::tradeApi, filled from the session record; each
    // returns the library's code, -1 when there is none. They touch no callback object.
    static int reqAuthenticate(int requestNo, const TerminalIdentity &terminal);
    static int reqUserLogin(int requestNo, const TerminalIdentity &terminal);
    static int reqUserLogout(int requestNo);
    static int reqSettlementInfoConfirm(int requestNo);
    static int reqQrySettlementInfo(int requestNo);
    static int reqQryInstrument(int requestNo);
    static int reqQryInvestorPosition(int requestNo);
    static int reqQryTradingAccount(int requestNo);
    // The order record is built by the order operation; only the sending lives here.
    static int reqOrderInsert(CThostFtdcInputOrderField &order, int requestNo);

    static ApiGuard<CThostFtdcTraderApi> &api();
};
