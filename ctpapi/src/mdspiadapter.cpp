#include "mdspiadapter.h"

namespace velmora::ctpapi {

using wire::MsgType;

void MdSpiAdapter::frame(const wire::Frame &f)
{
    CThostFtdcMdSpi *spi = spi_.load();
    if (!spi) {
        return;
    }
    CThostFtdcRspInfoField info = f.rspInfo;
    CThostFtdcRspInfoField *rspInfo = f.hasRspInfo ? &info : nullptr;
    const int id = f.requestId;
    const bool last = f.isLast;

    switch (f.type) {
    case MsgType::RspUserLogin:
        withRecord<CThostFtdcRspUserLoginField>(
            f, [&](auto *r) { spi->OnRspUserLogin(r, rspInfo, id, last); });
        break;
    case MsgType::RspUserLogout:
        withRecord<CThostFtdcUserLogoutField>(
            f, [&](auto *r) { spi->OnRspUserLogout(r, rspInfo, id, last); });
        break;
    case MsgType::RspError:
        spi->OnRspError(rspInfo, id, last);
        break;
    case MsgType::RspSubMarketData:
        withRecord<CThostFtdcSpecificInstrumentField>(
            f, [&](auto *r) { spi->OnRspSubMarketData(r, rspInfo, id, last); });
        break;
    case MsgType::RspUnSubMarketData:
        withRecord<CThostFtdcSpecificInstrumentField>(
            f, [&](auto *r) { spi->OnRspUnSubMarketData(r, rspInfo, id, last); });
        break;
    case MsgType::RtnDepthMarketData:
        withRecord<CThostFtdcDepthMarketDataField>(f,
                                                   [&](auto *r) { spi->OnRtnDepthMarketData(r); });
        break;
    default:
        // Trading messages have no market-data callback.
        break;
    }
}

} // namespace velmora::ctpapi
