#include "mdcheckspi.h"

#include "gbktext.h"
#include "pending.h"

#include <cstdio>

void MdCheckSpi::OnFrontConnected()
{
    pending_.answer(Pending::kConnected, true, "已连接");
}

void MdCheckSpi::OnFrontDisconnected(int nReason)
{
    char text[64];
    std::snprintf(text, sizeof text, "行情前置断开连接，原因 0x%04x", nReason);
    pending_.breakOff(text);
}

void MdCheckSpi::OnRspUserLogin(CThostFtdcRspUserLoginField *pRspUserLogin,
                                CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool)
{
    if (isRspError(pRspInfo)) {
        pending_.answer(nRequestID, false, rspErrorText(*pRspInfo));
        return;
    }
    pending_.answer(nRequestID, true,
                    pRspUserLogin ? "交易日 " + utf8Field(pRspUserLogin->TradingDay)
                                  : std::string("已登录"));
}

void MdCheckSpi::OnRspSubMarketData(CThostFtdcSpecificInstrumentField *pSpecificInstrument,
                                    CThostFtdcRspInfoField *pRspInfo, int, bool)
{
    // The answer names no request: it is known by the instrument it echoes.
    if (pSpecificInstrument && utf8Field(pSpecificInstrument->InstrumentID) != instrument_) {
        return;
    }
    if (isRspError(pRspInfo)) {
        pending_.answer(Pending::kSubscribed, false, rspErrorText(*pRspInfo));
        return;
    }
    pending_.answer(Pending::kSubscribed, true, "已订阅 " + instrument_);
}

void MdCheckSpi::OnRtnDepthMarketData(CThostFtdcDepthMarketDataField *pDepthMarketData)
{
    if (pDepthMarketData && utf8Field(pDepthMarketData->InstrumentID) == instrument_) {
        ticks_.fetch_add(1);
    }
}

void MdCheckSpi::OnRspError(CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool)
{
    pending_.answer(nRequestID, false,
                    pRspInfo ? rspErrorText(*pRspInfo) : std::string("前置回答错误"));
}
