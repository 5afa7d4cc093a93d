#pragma once

#include "apiguard.h"

#include <ThostFtdcMdApi.h>

// The market-data library's callbacks, on the library's own thread: the login keeps the
// session's market-data state, the ticks of the traded instrument become the session's quote,
// and every tick asks the main window to redraw its instrument table. Final: release() deletes
// it through its own type.
class MdSpi final : public CThostFtdcMdSpi
{
public:
    void OnFrontConnected() override;
    void OnFrontDisconnected(int nReason) override;
    void OnHeartBeatWarning(int nTimeLapse) override;
    void OnRspUserLogin(CThostFtdcRspUserLoginField *pRspUserLogin,
                        CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast) override;
    void OnRspUserLogout(CThostFtdcUserLogoutField *pUserLogout, CThostFtdcRspInfoField *pRspInfo,
                         int nRequestID, bool bIsLast) override;
    void OnRspError(CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast) override;
    void OnRspSubMarketData(CThostFtdcSpecificInstrumentField *pSpecificInstrument,
                            CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                            bool bIsLast) override;
    void OnRspUnSubMarketData(CThostFtdcSpecificInstrumentField *pSpecificInstrument,
                              CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                              bool bIsLast) override;
    void OnRtnDepthMarketData(CThostFtdcDepthMarketDataField *pDepthMarketData) override;

    // Requests to the API object in GlobalVars::mdApi; each returns the library's code, -1 when
    // there is none. They touch no callback object, so the trading thread may call them while
    // the GUI thread releases the market data.
    static int reqUserLogin(int requestNo);
    static int reqUserLogout(int requestNo);
    static int subscribeMarketData(char *ppInstrumentID[], int nCount);
    static int unSubscribeMarketData(char *ppInstrumentID[], int nCount);

    static ApiGuard<CThostFtdcMdApi> &api();
};
