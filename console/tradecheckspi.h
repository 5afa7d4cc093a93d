#pragma once

#include <ThostFtdcTraderApi.h>

#include <string>

class Pending;

// The trading front's answers, turned into one result per step. Runs on the API's callback
// thread; what it counts across a series of answers belongs to that thread alone, and reaches
// the main thread only as the finished text.
class TradeCheckSpi : public CThostFtdcTraderSpi
{
public:
    // instrument: the one asked for, or empty when every instrument is.
    TradeCheckSpi(Pending &pending, std::string instrument)
        : pending_(pending), instrument_(std::move(instrument))
    {
    }

    void OnFrontConnected() override;
    void OnFrontDisconnected(int nReason) override;
    void OnRspAuthenticate(CThostFtdcRspAuthenticateField *pRspAuthenticateField,
                           CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast) override;
    void OnRspUserLogin(CThostFtdcRspUserLoginField *pRspUserLogin,
                        CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast) override;
    void OnRspQrySettlementInfo(CThostFtdcSettlementInfoField *pSettlementInfo,
                                CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                bool bIsLast) override;
    void OnRspQryTradingAccount(CThostFtdcTradingAccountField *pTradingAccount,
                                CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                bool bIsLast) override;
    void OnRspQryInvestorPosition(CThostFtdcInvestorPositionField *pInvestorPosition,
                                  CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                  bool bIsLast) override;
    void OnRspQryInstrument(CThostFtdcInstrumentField *pInstrument,
                            CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                            bool bIsLast) override;
    void OnRspError(CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast) override;

private:
    // Starts a new tally when a series of another request begins; false after the series
    // answered an error, whose later pieces are not counted.
    bool beginPiece(int requestId, CThostFtdcRspInfoField *info);

    Pending &pending_;
    const std::string instrument_;
    int seriesId_ = 0;
    bool seriesFailed_ = false;
    long long bytes_ = 0;
    int records_ = 0;
    std::string first_;
};
