#pragma once

#include "ThostFtdcMdApi.h"
#include "apicore.h"
#include "flowfile.h"
#include "mdspiadapter.h"

#include <memory>
#include <string>

namespace velmora::ctpapi {

// CThostFtdcMdApi over the wire protocol. Created by CreateFtdcMdApi, destroyed by Release.
class MdApi final : public CThostFtdcMdApi
{
public:
    explicit MdApi(const char *flowPath);

    void Release() override;
    void Init() override;
    int Join() override;
    const char *GetTradingDay() override;
    void RegisterFront(char *pszFrontAddress) override;
    void RegisterSpi(CThostFtdcMdSpi *pSpi) override;
    int SubscribeMarketData(char *ppInstrumentID[], int nCount) override;
    int UnSubscribeMarketData(char *ppInstrumentID[], int nCount) override;
    int ReqUserLogin(CThostFtdcReqUserLoginField *pReqUserLoginField, int nRequestID) override;
    int ReqUserLogout(CThostFtdcUserLogoutField *pUserLogout, int nRequestID) override;

private:
    ~MdApi() = default;

    int subscription(wire::MsgType type, char *ids[], int count);

    FlowFile flowFile_;
    MdSpiAdapter *adapter_; // owned by core_
    std::shared_ptr<ApiCore> core_;
};

} // namespace velmora::ctpapi
