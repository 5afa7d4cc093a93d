#include "spirecorder.h"

void SpiRecorder::setHook(Hook hook)
{
    std::lock_guard<std::mutex> lock(mutex_);
    hook_ = std::move(hook);
}

std::vector<SpiEvent> SpiRecorder::events() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

int SpiRecorder::count(const std::string &name) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const SpiEvent &event : events_) {
        n += event.name == name ? 1 : 0;
    }
    return n;
}

bool SpiRecorder::waitFor(const std::string &name, int wanted, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        int n = 0;
        for (const SpiEvent &event : events_) {
            n += event.name == name ? 1 : 0;
        }
        return n >= wanted;
    });
}

#define VELMORA_GETTER(type, name, member)                                                         \
    std::vector<type> SpiRecorder::name() const                                                    \
    {                                                                                              \
        std::lock_guard<std::mutex> lock(mutex_);                                                  \
        return member;                                                                             \
    }
VELMORA_GETTER(CThostFtdcDepthMarketDataField, ticks, ticks_)
VELMORA_GETTER(CThostFtdcSettlementInfoField, statement, statement_)
VELMORA_GETTER(CThostFtdcInvestorPositionField, positions, positions_)
VELMORA_GETTER(CThostFtdcTradingAccountField, accounts, accounts_)
VELMORA_GETTER(CThostFtdcInstrumentField, instruments, instruments_)
VELMORA_GETTER(CThostFtdcOrderField, orders, orders_)
VELMORA_GETTER(CThostFtdcTradeField, trades, trades_)
#undef VELMORA_GETTER

CThostFtdcRspUserLoginField SpiRecorder::login() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return login_;
}

CThostFtdcRspAuthenticateField SpiRecorder::authentication() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return authentication_;
}

void SpiRecorder::record(SpiEvent event, const CThostFtdcRspInfoField *rspInfo,
                         const std::function<void()> &keep)
{
    if (inside_.fetch_add(1) != 0) {
        ++overlaps_;
    }
    event.thread = std::this_thread::get_id();
    if (rspInfo) {
        event.hasRspInfo = true;
        event.errorId = rspInfo->ErrorID;
        event.errorMsg = rspInfo->ErrorMsg;
    }
    Hook hook;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
        if (keep) {
            keep();
        }
        hook = hook_;
    }
    changed_.notify_all();
    if (hook) {
        hook(event);
    }
    --inside_;
}

namespace {

SpiEvent response(const char *name, const void *record, int requestId, bool isLast)
{
    SpiEvent event;
    event.name = name;
    event.hasRecord = record != nullptr;
    event.requestId = requestId;
    event.isLast = isLast;
    return event;
}

} // namespace

void SpiRecorder::OnFrontConnected()
{
    record(response("OnFrontConnected", nullptr, 0, true), nullptr);
}

void SpiRecorder::OnFrontDisconnected(int nReason)
{
    SpiEvent event = response("OnFrontDisconnected", nullptr, 0, true);
    event.reason = nReason;
    record(event, nullptr);
}

void SpiRecorder::OnHeartBeatWarning(int nTimeLapse)
{
    SpiEvent event = response("OnHeartBeatWarning", nullptr, 0, true);
    event.reason = nTimeLapse;
    record(event, nullptr);
}

void SpiRecorder::OnRspUserLogin(CThostFtdcRspUserLoginField *p, CThostFtdcRspInfoField *info,
                                 int id, bool last)
{
    record(response("OnRspUserLogin", p, id, last), info, [&] {
        if (p) {
            login_ = *p;
        }
    });
}

void SpiRecorder::OnRspAuthenticate(CThostFtdcRspAuthenticateField *p, CThostFtdcRspInfoField *info,
                                    int id, bool last)
{
    record(response("OnRspAuthenticate", p, id, last), info, [&] {
        if (p) {
            authentication_ = *p;
        }
    });
}

void SpiRecorder::OnRspUserLogout(CThostFtdcUserLogoutField *p, CThostFtdcRspInfoField *info,
                                  int id, bool last)
{
    record(response("OnRspUserLogout", p, id, last), info);
}

void SpiRecorder::OnRspError(CThostFtdcRspInfoField *info, int id, bool last)
{
    record(response("OnRspError", nullptr, id, last), info);
}

void SpiRecorder::OnRspOrderInsert(CThostFtdcInputOrderField *p, CThostFtdcRspInfoField *info,
                                   int id, bool last)
{
    record(response("OnRspOrderInsert", p, id, last), info);
}

void SpiRecorder::OnRspSettlementInfoConfirm(CThostFtdcSettlementInfoConfirmField *p,
                                             CThostFtdcRspInfoField *info, int id, bool last)
{
    record(response("OnRspSettlementInfoConfirm", p, id, last), info);
}

void SpiRecorder::OnRspQryInvestorPosition(CThostFtdcInvestorPositionField *p,
                                           CThostFtdcRspInfoField *info, int id, bool last)
{
    record(response("OnRspQryInvestorPosition", p, id, last), info, [&] {
        if (p) {
            positions_.push_back(*p);
        }
    });
}

void SpiRecorder::OnRspQryTradingAccount(CThostFtdcTradingAccountField *p,
                                         CThostFtdcRspInfoField *info, int id, bool last)
{
    record(response("OnRspQryTradingAccount", p, id, last), info, [&] {
        if (p) {
            accounts_.push_back(*p);
        }
    });
}

void SpiRecorder::OnRspQryInstrument(CThostFtdcInstrumentField *p, CThostFtdcRspInfoField *info,
                                     int id, bool last)
{
    record(response("OnRspQryInstrument", p, id, last), info, [&] {
        if (p) {
            instruments_.push_back(*p);
        }
    });
}

void SpiRecorder::OnRspQrySettlementInfo(CThostFtdcSettlementInfoField *p,
                                         CThostFtdcRspInfoField *info, int id, bool last)
{
    record(response("OnRspQrySettlementInfo", p, id, last), info, [&] {
        if (p) {
            statement_.push_back(*p);
        }
    });
}

void SpiRecorder::OnRtnOrder(CThostFtdcOrderField *p)
{
    record(response("OnRtnOrder", p, 0, true), nullptr, [&] {
        if (p) {
            orders_.push_back(*p);
        }
    });
}

void SpiRecorder::OnRtnTrade(CThostFtdcTradeField *p)
{
    record(response("OnRtnTrade", p, 0, true), nullptr, [&] {
        if (p) {
            trades_.push_back(*p);
        }
    });
}

void SpiRecorder::OnErrRtnOrderInsert(CThostFtdcInputOrderField *p, CThostFtdcRspInfoField *info)
{
    record(response("OnErrRtnOrderInsert", p, 0, true), info);
}

void SpiRecorder::OnRspSubMarketData(CThostFtdcSpecificInstrumentField *p,
                                     CThostFtdcRspInfoField *info, int id, bool last)
{
    record(response("OnRspSubMarketData", p, id, last), info);
}

void SpiRecorder::OnRspUnSubMarketData(CThostFtdcSpecificInstrumentField *p,
                                       CThostFtdcRspInfoField *info, int id, bool last)
{
    record(response("OnRspUnSubMarketData", p, id, last), info);
}

void SpiRecorder::OnRtnDepthMarketData(CThostFtdcDepthMarketDataField *p)
{
    record(response("OnRtnDepthMarketData", p, 0, true), nullptr, [&] {
        if (p) {
            ticks_.push_back(*p);
        }
    });
}
