#include "traderspiadapter.h"

namespace velmora::ctpapi {

using wire::MsgType;

void TraderSpiAdapter::frame(const wire::Frame &f)
{
    CThostFtdcRspUserLoginField login;
    if (f.type == MsgType::RspUserLogin && (!f.hasRspInfo || f.rspInfo.ErrorID == 0) &&
        f.recordAs(login) && login.TradingDay[0] != '\0') {
        flow_->loggedIn(login.TradingDay);
    }
    CThostFtdcTraderSpi *spi = spi_.load();
    if (!spi) {
        return;
    }
    deliver(spi, f);
    const bool privateNotice = f.type == MsgType::RtnOrder || f.type == MsgType::RtnTrade ||
                               f.type == MsgType::ErrRtnOrderInsert ||
                               f.type == MsgType::ErrRtnOrderAction;
    // Numbered only when the front numbers its private stream: 0 is "no number".
    if (privateNotice && f.requestId > 0) {
        flow_->privateHanded(f.requestId);
    }
}

void TraderSpiAdapter::deliver(CThostFtdcTraderSpi *spi, const wire::Frame &f)
{
    CThostFtdcRspInfoField info = f.rspInfo;
    CThostFtdcRspInfoField *rspInfo = f.hasRspInfo ? &info : nullptr;
    const int id = f.requestId;
    const bool last = f.isLast;

    switch (f.type) {
    case MsgType::RspAuthenticate:
        withRecord<CThostFtdcRspAuthenticateField>(
            f, [&](auto *r) { spi->OnRspAuthenticate(r, rspInfo, id, last); });
        break;
    case MsgType::RspUserLogin:
        withRecord<CThostFtdcRspUserLoginField>(
            f, [&](auto *r) { spi->OnRspUserLogin(r, rspInfo, id, last); });
        break;
    case MsgType::RspUserLogout:
        withRecord<CThostFtdcUserLogoutField>(
            f, [&](auto *r) { spi->OnRspUserLogout(r, rspInfo, id, last); });
        break;
    case MsgType::RspOrderInsert:
        withRecord<CThostFtdcInputOrderField>(
            f, [&](auto *r) { spi->OnRspOrderInsert(r, rspInfo, id, last); });
        break;
    case MsgType::RspOrderAction:
        withRecord<CThostFtdcInputOrderActionField>(
            f, [&](auto *r) { spi->OnRspOrderAction(r, rspInfo, id, last); });
        break;
    case MsgType::RspSettlementInfoConfirm:
        withRecord<CThostFtdcSettlementInfoConfirmField>(
            f, [&](auto *r) { spi->OnRspSettlementInfoConfirm(r, rspInfo, id, last); });
        break;
    case MsgType::RspQryTrade:
        withRecord<CThostFtdcTradeField>(
            f, [&](auto *r) { spi->OnRspQryTrade(r, rspInfo, id, last); });
        break;
    case MsgType::RspQryInvestorPosition:
        withRecord<CThostFtdcInvestorPositionField>(
            f, [&](auto *r) { spi->OnRspQryInvestorPosition(r, rspInfo, id, last); });
        break;
    case MsgType::RspQryTradingAccount:
        withRecord<CThostFtdcTradingAccountField>(
            f, [&](auto *r) { spi->OnRspQryTradingAccount(r, rspInfo, id, last); });
        break;
    case MsgType::RspQryInstrument:
        withRecord<CThostFtdcInstrumentField>(
            f, [&](auto *r) { spi->OnRspQryInstrument(r, rspInfo, id, last); });
        break;
    case MsgType::RspQrySettlementInfo:
        withRecord<CThostFtdcSettlementInfoField>(
            f, [&](auto *r) { spi->OnRspQrySettlementInfo(r, rspInfo, id, last); });
        break;
    case MsgType::RspError:
        spi->OnRspError(rspInfo, id, last);
        break;
    case MsgType::RtnOrder:
        withRecord<CThostFtdcOrderField>(f, [&](auto *r) { spi->OnRtnOrder(r); });
        break;
    case MsgType::RtnTrade:
        withRecord<CThostFtdcTradeField>(f, [&](auto *r) { spi->OnRtnTrade(r); });
        break;
    case MsgType::ErrRtnOrderInsert:
        withRecord<CThostFtdcInputOrderField>(
            f, [&](auto *r) { spi->OnErrRtnOrderInsert(r, rspInfo); });
        break;
    case MsgType::ErrRtnOrderAction:
        withRecord<CThostFtdcOrderActionField>(
            f, [&](auto *r) { spi->OnErrRtnOrderAction(r, rspInfo); });
        break;
    default:
        // Market-data messages have no trading callback.
        break;
    }
}

} // namespace velmora::ctpapi
