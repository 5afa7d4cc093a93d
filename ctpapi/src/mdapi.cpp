#include "mdapi.h"

#include <cstring>

namespace velmora::ctpapi {

using wire::MsgType;

MdApi::MdApi(const char *flowPath)
{
    flowFile_.openOrExit(flowPath ? flowPath : "", FlowFile::kMdFileName);
    auto adapter = std::make_unique<MdSpiAdapter>();
    adapter_ = adapter.get();
    core_ = std::make_shared<ApiCore>(std::move(adapter), ApiCore::settingsFromEnvironment());
}

void MdApi::Release()
{
    // The core outlives this object, which whenDone deletes: maybe before release() returns.
    std::shared_ptr<ApiCore> core = core_;
    core->release([this] { delete this; });
}

void MdApi::Init()
{
    std::shared_ptr<ApiCore> core = core_;
    core->init();
}

int MdApi::Join()
{
    std::shared_ptr<ApiCore> core = core_;
    core->waitReleased();
    return 0;
}

const char *MdApi::GetTradingDay()
{
    return core_->tradingDay();
}

void MdApi::RegisterFront(char *pszFrontAddress)
{
    if (pszFrontAddress) {
        core_->registerFront(pszFrontAddress);
    }
}

void MdApi::RegisterSpi(CThostFtdcMdSpi *pSpi)
{
    adapter_->setSpi(pSpi);
}

int MdApi::subscription(MsgType type, char *ids[], int count)
{
    if (count < 0 || (count > 0 && !ids)) {
        return kNotConnected;
    }
    std::vector<const char *> given;
    for (int i = 0; i < count; ++i) {
        if (ids[i]) {
            given.push_back(ids[i]);
        }
    }
    if (given.empty()) {
        return kSent;
    }
    std::vector<std::vector<unsigned char>> frames;
    for (std::size_t i = 0; i < given.size(); ++i) {
        CThostFtdcSpecificInstrumentField instrument{};
        std::strncpy(instrument.InstrumentID, given[i], sizeof(instrument.InstrumentID) - 1);
        frames.push_back(
            wire::FrameCodec::encode(type, 0, i + 1 == given.size(), nullptr, &instrument));
    }
    return core_->sendAll(std::move(frames));
}

int MdApi::SubscribeMarketData(char *ppInstrumentID[], int nCount)
{
    return subscription(MsgType::SubscribeMarketData, ppInstrumentID, nCount);
}

int MdApi::UnSubscribeMarketData(char *ppInstrumentID[], int nCount)
{
    return subscription(MsgType::UnSubscribeMarketData, ppInstrumentID, nCount);
}

int MdApi::ReqUserLogin(CThostFtdcReqUserLoginField *pReqUserLoginField, int nRequestID)
{
    return core_->sendRecord(MsgType::ReqUserLogin, nRequestID, pReqUserLoginField);
}

int MdApi::ReqUserLogout(CThostFtdcUserLogoutField *pUserLogout, int nRequestID)
{
    return core_->sendRecord(MsgType::ReqUserLogout, nRequestID, pUserLogout);
}

} // namespace velmora::ctpapi

CThostFtdcMdApi *CThostFtdcMdApi::CreateFtdcMdApi(const char *pszFlowPath, const bool, const bool)
{
    return new velmora::ctpapi::MdApi(pszFlowPath);
}

const char *CThostFtdcMdApi::GetApiVersion()
{
    return "Velmora CTP API 1.0";
}
