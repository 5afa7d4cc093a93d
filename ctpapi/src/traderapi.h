#pragma once

#include "ThostFtdcTraderApi.h"
#include "apicore.h"
#include "flowstate.h"
#include "traderspiadapter.h"

#include <memory>
#include <string>

namespace velmora::ctpapi {

// CThostFtdcTraderApi over the wire protocol. Created by CreateFtdcTraderApi, destroyed by
// Release.
class TraderApi final : public CThostFtdcTraderApi
{
public:
    explicit TraderApi(const char *flowPath);

    void Release() override;
    void Init() override;
    int Join() override;
    const char *GetTradingDay() override;
    void RegisterFront(char *pszFrontAddress) override;
    void RegisterSpi(CThostFtdcTraderSpi *pSpi) override;
    void SubscribePrivateTopic(THOST_TE_RESUME_TYPE nResumeType) override;
    void SubscribePublicTopic(THOST_TE_RESUME_TYPE nResumeType) override;

    int ReqAuthenticate(CThostFtdcReqAuthenticateField *pReqAuthenticateField,
                        int nRequestID) override;
    int ReqUserLogin(CThostFtdcReqUserLoginField *pReqUserLoginField, int nRequestID) override;
    int ReqUserLogout(CThostFtdcUserLogoutField *pUserLogout, int nRequestID) override;
    int ReqOrderInsert(CThostFtdcInputOrderField *pInputOrder, int nRequestID) override;
    int ReqSettlementInfoConfirm(CThostFtdcSettlementInfoConfirmField *pSettlementInfoConfirm,
                                 int nRequestID) override;
    int ReqQryTrade(CThostFtdcQryTradeField *pQryTrade, int nRequestID) override;
    int ReqQryInvestorPosition(CThostFtdcQryInvestorPositionField *pQryInvestorPosition,
                               int nRequestID) override;
    int ReqQryTradingAccount(CThostFtdcQryTradingAccountField *pQryTradingAccount,
                             int nRequestID) override;
    int ReqQryInstrument(CThostFtdcQryInstrumentField *pQryInstrument, int nRequestID) override;
    int ReqQrySettlementInfo(CThostFtdcQrySettlementInfoField *pQrySettlementInfo,
                             int nRequestID) override;

private:
    ~TraderApi() = default;

    // Shared with the adapter and the greeting, which live as long as core_.
    const std::shared_ptr<FlowState> flow_;
    TraderSpiAdapter *adapter_; // owned by core_
    std::shared_ptr<ApiCore> core_;
};

} // namespace velmora::ctpapi
