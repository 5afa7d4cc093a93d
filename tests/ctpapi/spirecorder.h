#pragma once

#include "ThostFtdcMdApi.h"
#include "ThostFtdcTraderApi.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// One callback as a Spi saw it.
struct SpiEvent
{
    std::string name;
    int requestId = 0;
    bool isLast = false;
    bool hasRecord = false;
    bool hasRspInfo = false;
    int errorId = 0;
    std::string errorMsg;
    int reason = 0; // OnFrontDisconnected, OnHeartBeatWarning
    std::thread::id thread;
};

// Records every callback of the trading and market-data Spi, checks they never overlap, and lets
// a test act inside a callback through a hook.
class SpiRecorder : public CThostFtdcTraderSpi, public CThostFtdcMdSpi
{
public:
    using Hook = std::function<void(const SpiEvent &event)>;

    void setHook(Hook hook);
    std::vector<SpiEvent> events() const;
    int count(const std::string &name) const;
    bool waitFor(const std::string &name, int count, int timeoutMs = 15000) const;
    int overlaps() const { return overlaps_.load(); }
    // Callbacks still running; 0 before the recorder may be destroyed.
    int inside() const { return inside_.load(); }
    std::vector<CThostFtdcDepthMarketDataField> ticks() const;
    std::vector<CThostFtdcSettlementInfoField> statement() const;
    std::vector<CThostFtdcInvestorPositionField> positions() const;
    std::vector<CThostFtdcTradingAccountField> accounts() const;
    std::vector<CThostFtdcInstrumentField> instruments() const;
    std::vector<CThostFtdcOrderField> orders() const;
    std::vector<CThostFtdcTradeField> trades() const;
    CThostFtdcRspUserLoginField login() const;
    CThostFtdcRspAuthenticateField authentication() const;

    void OnFrontConnected() override;
    void OnFrontDisconnected(int nReason) override;
    void OnHeartBeatWarning(int nTimeLapse) override;
    void OnRspUserLogin(CThostFtdcRspUserLoginField *pRspUserLogin,
                        CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast) override;
    void OnRspAuthenticate(CThostFtdcRspAuthenticateField *pRspAuthenticateField,
                           CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast) override;
    void OnRspUserLogout(CThostFtdcUserLogoutField *pUserLogout, CThostFtdcRspInfoField *pRspInfo,
                         int nRequestID, bool bIsLast) override;
    void OnRspError(CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast) override;

    void OnRspOrderInsert(CThostFtdcInputOrderField *pInputOrder, CThostFtdcRspInfoField *pRspInfo,
                          int nRequestID, bool bIsLast) override;
    void OnRspSettlementInfoConfirm(CThostFtdcSettlementInfoConfirmField *pSettlementInfoConfirm,
                                    CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                    bool bIsLast) override;
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
    void OnRtnOrder(CThostFtdcOrderField *pOrder) override;
    void OnRtnTrade(CThostFtdcTradeField *pTrade) override;
    void OnErrRtnOrderInsert(CThostFtdcInputOrderField *pInputOrder,
                             CThostFtdcRspInfoField *pRspInfo) override;

    void OnRspSubMarketData(CThostFtdcSpecificInstrumentField *pSpecificInstrument,
                            CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                            bool bIsLast) override;
    void OnRspUnSubMarketData(CThostFtdcSpecificInstrumentField *pSpecificInstrument,
                              CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                              bool bIsLast) override;
    void OnRtnDepthMarketData(CThostFtdcDepthMarketDataField *pDepthMarketData) override;

private:
    void record(SpiEvent event, const CThostFtdcRspInfoField *rspInfo,
                const std::function<void()> &keep = {});

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<SpiEvent> events_;
    Hook hook_;
    std::atomic<int> inside_{0};
    std::atomic<int> overlaps_{0};
    std::vector<CThostFtdcDepthMarketDataField> ticks_;
    std::vector<CThostFtdcSettlementInfoField> statement_;
    std::vector<CThostFtdcInvestorPositionField> positions_;
    std::vector<CThostFtdcTradingAccountField> accounts_;
    std::vector<CThostFtdcInstrumentField> instruments_;
    std::vector<CThostFtdcOrderField> orders_;
    std::vector<CThostFtdcTradeField> trades_;
    CThostFtdcRspUserLoginField login_{};
    CThostFtdcRspAuthenticateField authentication_{};
};
