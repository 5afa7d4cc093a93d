#pragma once

#include "engine.h"
#include "frontconfig.h"
#include "ledger.h"
#include "quotebook.h"

#include "ThostFtdcUserApiStruct.h"

#include <cstddef>
#include <string>

namespace simfront {

// Turns the books into the CTP interface's records and requests back into the engine's terms.
// Texts for people go out as GB2312; identifiers are plain ASCII.
class WireRecords
{
public:
    // The text of a received field exactly as sent, up to its NUL: blanks are part of it, so
    // "rb2705 " names no instrument, as on the vendor's fronts.
    template <std::size_t N> static std::string text(const char (&field)[N])
    {
        return upToNul(field, N);
    }
    template <std::size_t N> static void set(char (&field)[N], const std::string &ascii)
    {
        setText(field, N, ascii);
    }

    // OrderRef as the vendor's front writes it: right-aligned in twelve columns.
    static std::string paddedOrderRef(const std::string &ref);

    static CThostFtdcRspInfoField rspInfo(const RspError &error);
    static OrderRequest orderRequest(const CThostFtdcInputOrderField &in, int requestId);
    static CThostFtdcOrderField order(const Order &o);
    static CThostFtdcTradeField trade(const Trade &t);
    static CThostFtdcInstrumentField instrument(const InstrumentSpec &s);
    static CThostFtdcInvestorPositionField position(const PositionRecord &p,
                                                    const std::string &brokerId,
                                                    const std::string &investorId,
                                                    const std::string &tradingDay);
    static CThostFtdcTradingAccountField
    account(const AccountRecord &a, const std::string &brokerId, const std::string &tradingDay);
    static CThostFtdcDepthMarketDataField depth(const Quote &q);

private:
    static std::string upToNul(const char *field, std::size_t size);
    static void setText(char *field, std::size_t size, const std::string &text);
};

} // namespace simfront
