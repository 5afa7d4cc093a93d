#pragma once

#include <ThostFtdcMdApi.h>

#include <atomic>
#include <string>

class Pending;

// The market-data front's answers, turned into one result per step, and a count of the ticks
// of the one instrument subscribed.
class MdCheckSpi : public CThostFtdcMdSpi
{
public:
    MdCheckSpi(Pending &pending, std::string instrument)
        : pending_(pending), instrument_(std::move(instrument))
    {
    }

    int ticks() const { return ticks_.load(); }

    void OnFrontConnected() override;
    void OnFrontDisconnected(int nReason) override;
    void OnRspUserLogin(CThostFtdcRspUserLoginField *pRspUserLogin,
                        CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast) override;
    void OnRspSubMarketData(CThostFtdcSpecificInstrumentField *pSpecificInstrument,
                            CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                            bool bIsLast) override;
    void OnRtnDepthMarketData(CThostFtdcDepthMarketDataField *pDepthMarketData) override;
    void OnRspError(CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast) override;

private:
    Pending &pending_;
    const std::string instrument_;
    std::atomic<int> ticks_{0};
};
