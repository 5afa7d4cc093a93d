#include "marketfront.h"

#include "calendar.h"
#include "wirerecords.h"

namespace simfront {

using velmora::wire::Frame;
using velmora::wire::FrameCodec;
using velmora::wire::MsgType;
using velmora::wire::RecordLayout;

MarketFront::MarketFront(asio::io_context &io, Engine &engine, const QuoteBook &quotes,
                         RequestJournal &journal)
    : FrontListener(io, "md"), engine(engine), quotes(quotes), journal(journal)
{
}

void MarketFront::accepted(asio::ip::tcp::socket socket)
{
    openSession(sessions, std::move(socket), [this](int id, Frame &frame) { onFrame(id, frame); });
}

void MarketFront::closeAll()
{
    closeSessions(sessions);
}

void MarketFront::send(Session &s, MsgType type, int requestId, bool isLast, const RspError *error,
                       const void *record, std::size_t size)
{
    CThostFtdcRspInfoField info{};
    if (error) {
        info = WireRecords::rspInfo(*error);
    }
    s.link->send(
        FrameCodec::encode(type, requestId, isLast, error ? &info : nullptr, record, size));
}

void MarketFront::sendQuote(Session &s, const Quote &q)
{
    const auto rec = WireRecords::depth(q);
    send(s, MsgType::RtnDepthMarketData, 0, true, nullptr, &rec, sizeof rec);
}

void MarketFront::publish(const std::string &instrumentId)
{
    const Quote *q = quotes.find(instrumentId);
    if (!q) {
        return;
    }
    std::vector<unsigned char> frame;
    for (auto &[id, s] : sessions) {
        if (!s.subscribed.count(instrumentId)) {
            continue;
        }
        if (frame.empty()) {
            const auto rec = WireRecords::depth(*q);
            frame = FrameCodec::encode(MsgType::RtnDepthMarketData, 0, true, nullptr, &rec);
        }
        s.link->send(frame);
    }
}

void MarketFront::onFrame(int id, Frame &frame)
{
    auto it = sessions.find(id);
    if (it == sessions.end()) {
        return;
    }
    Session &s = it->second;
    if (frame.type == MsgType::Heartbeat) {
        send(s, MsgType::Heartbeat, 0, true, nullptr, nullptr, 0);
        return;
    }
    if (frame.type == MsgType::SubscribeTopic) {
        return;
    }
    const auto *rule = RecordLayout::rule(frame.type);
    const std::string typeName = rule ? rule->name : "unknown";
    journal.record("md", s.sessionId, typeName, frame.requestId, std::string());

    MsgType reply = MsgType::RspError;
    switch (frame.type) {
    case MsgType::ReqUserLogin:
        reply = MsgType::RspUserLogin;
        break;
    case MsgType::ReqUserLogout:
        reply = MsgType::RspUserLogout;
        break;
    case MsgType::SubscribeMarketData:
        reply = MsgType::RspSubMarketData;
        break;
    case MsgType::UnSubscribeMarketData:
        reply = MsgType::RspUnSubMarketData;
        break;
    default:
        break;
    }
    if (reply == MsgType::RspError) {
        const RspError e = errors::make(errors::NoPrivilege);
        send(s, MsgType::RspError, frame.requestId, true, &e, nullptr, 0);
        return;
    }
    if (auto fault = journal.takeFault("md:" + typeName)) {
        // Subscription answers echo the instrument they are about.
        const bool echo = !frame.record.empty() && reply != MsgType::RspUserLogin &&
                          reply != MsgType::RspUserLogout;
        send(s, reply, frame.requestId, frame.isLast, &*fault, echo ? frame.record.data() : nullptr,
             echo ? frame.record.size() : 0);
        return;
    }
    const RspError ok;
    switch (frame.type) {
    case MsgType::ReqUserLogin: {
        CThostFtdcReqUserLoginField req{};
        frame.recordAs(req);
        // The vendor's market-data front takes any login; so does this one.
        if (s.sessionId == 0) {
            s.sessionId = engine.newSessionId();
        }
        s.loggedIn = true;
        CThostFtdcRspUserLoginField rsp{};
        const std::string now = Calendar::nowTime();
        WireRecords::set(rsp.TradingDay, engine.tradingDay());
        WireRecords::set(rsp.LoginTime, now);
        WireRecords::set(rsp.BrokerID, WireRecords::text(req.BrokerID));
        WireRecords::set(rsp.UserID, WireRecords::text(req.UserID));
        WireRecords::set(rsp.SystemName, "VelmoraSimFront");
        rsp.FrontID = engine.config().frontId;
        rsp.SessionID = s.sessionId;
        WireRecords::set(rsp.MaxOrderRef, WireRecords::paddedOrderRef("1"));
        send(s, MsgType::RspUserLogin, frame.requestId, true, &ok, &rsp, sizeof rsp);
        break;
    }
    case MsgType::ReqUserLogout: {
        CThostFtdcUserLogoutField rsp{};
        frame.recordAs(rsp);
        s.loggedIn = false;
        s.subscribed.clear();
        send(s, MsgType::RspUserLogout, frame.requestId, true, &ok, &rsp, sizeof rsp);
        break;
    }
    case MsgType::SubscribeMarketData:
        subscribe(s, frame, true);
        break;
    case MsgType::UnSubscribeMarketData:
        subscribe(s, frame, false);
        break;
    default:
        break;
    }
}

void MarketFront::subscribe(Session &s, const Frame &frame, bool on)
{
    CThostFtdcSpecificInstrumentField rec{};
    frame.recordAs(rec);
    std::string id = WireRecords::text(rec.InstrumentID);
    if (id.empty()) {
        id = WireRecords::text(rec.reserve1);
    }
    const MsgType reply = on ? MsgType::RspSubMarketData : MsgType::RspUnSubMarketData;
    RspError result;
    if (!s.loggedIn) {
        result = errors::make(errors::NotLoggedIn);
    }
    if (!result) {
        if (on) {
            s.subscribed.insert(id);
        } else {
            s.subscribed.erase(id);
        }
    }
    // An instrument the exchange does not list is acknowledged like any other and simply never
    // quotes, as on the vendor's market-data fronts.
    send(s, reply, 0, frame.isLast, &result, &rec, sizeof rec);
    const Quote *q = quotes.find(id);
    if (on && !result && q) {
        // A subscriber gets the current quote at once instead of waiting for the next tick.
        sendQuote(s, *q);
    }
}

} // namespace simfront
