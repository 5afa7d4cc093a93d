#include "traderapi.h"

namespace velmora::ctpapi {

using wire::MsgType;

TraderApi::TraderApi(const char *flowPath) : flow_(std::make_shared<FlowState>())
{
    // At creation, as the vendor's library creates its flow files: a client with an unusable
    // flow path ends here, before it has connected anywhere.
    flow_->open(flowPath ? flowPath : "");
    auto adapter = std::make_unique<TraderSpiAdapter>(flow_);
    adapter_ = adapter.get();
    core_ = std::make_shared<ApiCore>(std::move(adapter), ApiCore::settingsFromEnvironment());
    core_->setGreeting([flow = flow_] {
        const wire::TopicSubscription topics = flow->subscription();
        return wire::FrameCodec::encode(MsgType::SubscribeTopic, 0, true, nullptr, &topics);
    });
}

void TraderApi::Release()
{
    // The core outlives this object, which whenDone deletes: maybe before release() returns.
    std::shared_ptr<ApiCore> core = core_;
    core->release([this] { delete this; });
}

void TraderApi::Init()
{
    std::shared_ptr<ApiCore> core = core_;
    core->init();
}

int TraderApi::Join()
{
    std::shared_ptr<ApiCore> core = core_;
    core->waitReleased();
    return 0;
}

const char *TraderApi::GetTradingDay()
{
    return core_->tradingDay();
}

void TraderApi::RegisterFront(char *pszFrontAddress)
{
    if (pszFrontAddress) {
        core_->registerFront(pszFrontAddress);
    }
}

void TraderApi::RegisterSpi(CThostFtdcTraderSpi *pSpi)
{
    adapter_->setSpi(pSpi);
}

void TraderApi::SubscribePrivateTopic(THOST_TE_RESUME_TYPE nResumeType)
{
    flow_->setPrivateResume(nResumeType);
}

void TraderApi::SubscribePublicTopic(THOST_TE_RESUME_TYPE nResumeType)
{
    flow_->setPublicResume(nResumeType);
}

int TraderApi::ReqAuthenticate(CThostFtdcReqAuthenticateField *pReqAuthenticateField,
                               int nRequestID)
{
    return core_->sendRecord(MsgType::ReqAuthenticate, nRequestID, pReqAuthenticateField);
}

int TraderApi::ReqUserLogin(CThostFtdcReqUserLoginField *pReqUserLoginField, int nRequestID)
{
    return core_->sendRecord(MsgType::ReqUserLogin, nRequestID, pReqUserLoginField);
}

int TraderApi::ReqUserLogout(CThostFtdcUserLogoutField *pUserLogout, int nRequestID)
{
    return core_->sendRecord(MsgType::ReqUserLogout, nRequestID, pUserLogout);
}

int TraderApi::ReqOrderInsert(CThostFtdcInputOrderField *pInputOrder, int nRequestID)
{
    return core_->sendRecord(MsgType::ReqOrderInsert, nRequestID, pInputOrder);
}

int TraderApi::ReqSettlementInfoConfirm(
    CThostFtdcSettlementInfoConfirmField *pSettlementInfoConfirm, int nRequestID)
{
    return core_->sendRecord(MsgType::ReqSettlementInfoConfirm, nRequestID, pSettlementInfoConfirm);
}

int TraderApi::ReqQryTrade(CThostFtdcQryTradeField *pQryTrade, int nRequestID)
{
    return core_->sendQueryRecord(MsgType::ReqQryTrade, MsgType::RspQryTrade, nRequestID,
                                  pQryTrade);
}

int TraderApi::ReqQryInvestorPosition(CThostFtdcQryInvestorPositionField *pQryInvestorPosition,
                                      int nRequestID)
{
    return core_->sendQueryRecord(MsgType::ReqQryInvestorPosition, MsgType::RspQryInvestorPosition,
                                  nRequestID, pQryInvestorPosition);
}

int TraderApi::ReqQryTradingAccount(CThostFtdcQryTradingAccountField *pQryTradingAccount,
                                    int nRequestID)
{
    return core_->sendQueryRecord(MsgType::ReqQryTradingAccount, MsgType::RspQryTradingAccount,
                                  nRequestID, pQryTradingAccount);
}

int TraderApi::ReqQryInstrument(CThostFtdcQryInstrumentField *pQryInstrument, int nRequestID)
{
    return core_->sendQueryRecord(MsgType::ReqQryInstrument, MsgType::RspQryInstrument, nRequestID,
                                  pQryInstrument);
}

int TraderApi::ReqQrySettlementInfo(CThostFtdcQrySettlementInfoField *pQrySettlementInfo,
                                    int nRequestID)
{
    return core_->sendQueryRecord(MsgType::ReqQrySettlementInfo, MsgType::RspQrySettlementInfo,
                                  nRequestID, pQrySettlementInfo);
}

} // namespace velmora::ctpapi

CThostFtdcTraderApi *CThostFtdcTraderApi::CreateFtdcTraderApi(const char *pszFlowPath)
{
    return new velmora::ctpapi::TraderApi(pszFlowPath);
}

const char *CThostFtdcTraderApi::GetApiVersion()
{
    return "Velmora CTP API 1.0";
}
