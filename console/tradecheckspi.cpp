#include "tradecheckspi.h"

#include "gbktext.h"
#include "pending.h"

#include <cstdio>
#include <cstring>

namespace {

std::string money(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

std::string number(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

} // namespace

void TradeCheckSpi::OnFrontConnected()
{
    pending_.answer(Pending::kConnected, true, "已连接");
}

void TradeCheckSpi::OnFrontDisconnected(int nReason)
{
    char text[64];
    std::snprintf(text, sizeof text, "交易前置断开连接，原因 0x%04x", nReason);
    pending_.breakOff(text);
}

void TradeCheckSpi::OnRspAuthenticate(CThostFtdcRspAuthenticateField *pRspAuthenticateField,
                                      CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool)
{
    if (isRspError(pRspInfo)) {
        pending_.answer(nRequestID, false, rspErrorText(*pRspInfo));
        return;
    }
    std::string text = "认证通过";
    if (pRspAuthenticateField) {
        text += "，AppID " + utf8Field(pRspAuthenticateField->AppID);
    }
    pending_.answer(nRequestID, true, text);
}

void TradeCheckSpi::OnRspUserLogin(CThostFtdcRspUserLoginField *pRspUserLogin,
                                   CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool)
{
    if (isRspError(pRspInfo)) {
        pending_.answer(nRequestID, false, rspErrorText(*pRspInfo));
        return;
    }
    if (!pRspUserLogin) {
        pending_.answer(nRequestID, false, "登录回答没有内容");
        return;
    }
    pending_.answer(nRequestID, true,
                    "交易日 " + utf8Field(pRspUserLogin->TradingDay) + "，前置 " +
                        std::to_string(pRspUserLogin->FrontID) + "，会话 " +
                        std::to_string(pRspUserLogin->SessionID) + "，" +
                        utf8Field(pRspUserLogin->SystemName));
}

bool TradeCheckSpi::beginPiece(int requestId, CThostFtdcRspInfoField *info)
{
    if (requestId != seriesId_) {
        seriesId_ = requestId;
        seriesFailed_ = false;
        bytes_ = 0;
        records_ = 0;
        first_.clear();
    }
    if (seriesFailed_) {
        return false;
    }
    if (isRspError(info)) {
        seriesFailed_ = true;
        pending_.answer(requestId, false, rspErrorText(*info));
        return false;
    }
    return true;
}

void TradeCheckSpi::OnRspQrySettlementInfo(CThostFtdcSettlementInfoField *pSettlementInfo,
                                           CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                           bool bIsLast)
{
    if (!beginPiece(nRequestID, pRspInfo)) {
        return;
    }
    if (pSettlementInfo) {
        // Counted in bytes: a piece may end inside a two-byte character.
        bytes_ += static_cast<long long>(
            strnlen(pSettlementInfo->Content, sizeof pSettlementInfo->Content));
        ++records_;
        if (first_.empty()) {
            first_ = utf8Field(pSettlementInfo->TradingDay);
        }
    }
    if (bIsLast) {
        std::string text = std::to_string(bytes_) + " 字节，" + std::to_string(records_) + " 段";
        if (!first_.empty()) {
            text += "，交易日 " + first_;
        }
        pending_.answer(nRequestID, true, text);
    }
}

void TradeCheckSpi::OnRspQryTradingAccount(CThostFtdcTradingAccountField *pTradingAccount,
                                           CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                           bool bIsLast)
{
    if (!beginPiece(nRequestID, pRspInfo)) {
        return;
    }
    if (pTradingAccount && records_++ == 0) {
        first_ = "权益 " + money(pTradingAccount->Balance) + "，可用 " +
                 money(pTradingAccount->Available) + " " + utf8Field(pTradingAccount->CurrencyID);
    }
    if (bIsLast) {
        if (records_ == 0) {
            pending_.answer(nRequestID, false, "前置没有返回资金账户");
        } else {
            pending_.answer(nRequestID, true, first_);
        }
    }
}

void TradeCheckSpi::OnRspQryInvestorPosition(CThostFtdcInvestorPositionField *pInvestorPosition,
                                             CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                             bool bIsLast)
{
    if (!beginPiece(nRequestID, pRspInfo)) {
        return;
    }
    if (pInvestorPosition) {
        ++records_;
    }
    if (bIsLast) {
        pending_.answer(nRequestID, true, std::to_string(records_) + " 条持仓记录");
    }
}

void TradeCheckSpi::OnRspQryInstrument(CThostFtdcInstrumentField *pInstrument,
                                       CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                       bool bIsLast)
{
    if (!beginPiece(nRequestID, pRspInfo)) {
        return;
    }
    if (pInstrument && records_++ == 0) {
        first_ = utf8Field(pInstrument->InstrumentID) + " " + utf8Field(pInstrument->ExchangeID) +
                 " " + utf8Field(pInstrument->InstrumentName) + "，合约乘数 " +
                 std::to_string(pInstrument->VolumeMultiple) + "，最小变动价位 " +
                 number(pInstrument->PriceTick);
    }
    if (!bIsLast) {
        return;
    }
    if (records_ == 0) {
        pending_.answer(nRequestID, false,
                        instrument_.empty() ? std::string("前置没有返回合约")
                                            : "找不到合约 " + instrument_);
    } else if (records_ == 1) {
        pending_.answer(nRequestID, true, first_);
    } else {
        pending_.answer(nRequestID, true, std::to_string(records_) + " 个合约");
    }
}

void TradeCheckSpi::OnRspError(CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool)
{
    pending_.answer(nRequestID, false,
                    pRspInfo ? rspErrorText(*pRspInfo) : std::string("前置回答错误"));
}
