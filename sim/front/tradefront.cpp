#include "tradefront.h"

#include "calendar.h"
#include "gb2312.h"
#include "wirerecords.h"

#include "ThostFtdcUserApiDataType.h"

#include <algorithm>
#include <cstring>

namespace simfront {

using velmora::wire::Frame;
using velmora::wire::FrameCodec;
using velmora::wire::MsgType;
using velmora::wire::RecordLayout;

namespace {

// The statement's Content field holds 500 bytes and a NUL.
constexpr std::size_t kPieceBytes = sizeof(TThostFtdcContentType) - 1;

MsgType answerType(MsgType request)
{
    switch (request) {
    case MsgType::ReqAuthenticate:
        return MsgType::RspAuthenticate;
    case MsgType::ReqUserLogin:
        return MsgType::RspUserLogin;
    case MsgType::ReqUserLogout:
        return MsgType::RspUserLogout;
    case MsgType::ReqSettlementInfoConfirm:
        return MsgType::RspSettlementInfoConfirm;
    case MsgType::ReqQrySettlementInfo:
        return MsgType::RspQrySettlementInfo;
    case MsgType::ReqQryInstrument:
        return MsgType::RspQryInstrument;
    case MsgType::ReqQryInvestorPosition:
        return MsgType::RspQryInvestorPosition;
    case MsgType::ReqQryTradingAccount:
        return MsgType::RspQryTradingAccount;
    case MsgType::ReqOrderInsert:
        return MsgType::RspOrderInsert;
    case MsgType::ReqQryTrade:
        return MsgType::RspQryTrade;
    default:
        return MsgType::RspError;
    }
}

} // namespace

TradeFront::TradeFront(asio::io_context &io, Engine &engine, RequestJournal &journal)
    : FrontListener(io, "td"), engine(engine), journal(journal),
      authRequired(engine.config().requireAuthentication)
{
}

void TradeFront::accepted(asio::ip::tcp::socket socket)
{
    openSession(sessions, std::move(socket), [this](int id, Frame &frame) { onFrame(id, frame); });
}

void TradeFront::closeAll()
{
    closeSessions(sessions);
}

template <class T>
void TradeFront::answer(Session &s, MsgType type, int requestId, bool isLast, const RspError *error,
                        const T *record)
{
    CThostFtdcRspInfoField info{};
    if (error) {
        info = WireRecords::rspInfo(*error);
    }
    s.link->send(FrameCodec::encode(type, requestId, isLast, error ? &info : nullptr, record));
}

void TradeFront::answerError(Session &s, MsgType type, int requestId, const RspError &e)
{
    answer<char>(s, type, requestId, true, &e, nullptr);
}

std::vector<unsigned char> TradeFront::flowFrame(const FlowItem &item)
{
    if (item.order) {
        const auto rec = WireRecords::order(*item.order);
        return FrameCodec::encode(MsgType::RtnOrder, item.sequence, true, nullptr, &rec);
    }
    const auto rec = WireRecords::trade(*item.trade);
    return FrameCodec::encode(MsgType::RtnTrade, item.sequence, true, nullptr, &rec);
}

void TradeFront::toInvestor(const std::string &investorId, const FlowItem &item)
{
    std::vector<unsigned char> frame;
    for (auto &[id, s] : sessions) {
        if (s.loggedIn && s.investorId == investorId && s.privateResume != THOST_TERT_NONE) {
            if (frame.empty()) {
                frame = flowFrame(item);
            }
            s.link->send(frame);
        }
    }
}

void TradeFront::errorToInvestor(const std::string &investorId, const RspError &e,
                                 const CThostFtdcInputOrderField &in)
{
    const auto info = WireRecords::rspInfo(e);
    const auto frame = FrameCodec::encode(MsgType::ErrRtnOrderInsert, 0, true, &info, &in);
    for (auto &[id, s] : sessions) {
        if (s.loggedIn && s.investorId == investorId) {
            s.link->send(frame);
        }
    }
}

void TradeFront::refuse(Session &s, int requestId, const RspError &e,
                        const CThostFtdcInputOrderField &in)
{
    answer(s, MsgType::RspOrderInsert, requestId, true, &e, &in);
    if (s.loggedIn) {
        errorToInvestor(s.investorId, e, in);
    }
}

void TradeFront::onFrame(int id, Frame &frame)
{
    auto it = sessions.find(id);
    if (it == sessions.end()) {
        return;
    }
    Session &s = it->second;
    if (frame.type == MsgType::Heartbeat) {
        s.link->send(FrameCodec::encode<char>(MsgType::Heartbeat, 0, true, nullptr, nullptr));
        return;
    }
    if (frame.type == MsgType::SubscribeTopic) {
        velmora::wire::TopicSubscription topic{};
        if (frame.recordAs(topic)) {
            s.privateResume = topic.PrivateResumeType;
            s.privateSequence = topic.PrivateSequence;
            s.flowDay = WireRecords::text(topic.TradingDay);
        }
        return;
    }
    const auto *rule = RecordLayout::rule(frame.type);
    const std::string typeName = rule ? rule->name : "unknown";
    journal.record("td", s.sessionId, typeName, frame.requestId, s.investorId);

    const MsgType reply = answerType(frame.type);
    if (reply == MsgType::RspError) {
        // A market-data request on the trading front.
        answerError(s, MsgType::RspError, frame.requestId, errors::make(errors::NoPrivilege));
        return;
    }
    if (auto fault = journal.takeFault("td:" + typeName)) {
        if (frame.type == MsgType::ReqOrderInsert) {
            CThostFtdcInputOrderField in{};
            frame.recordAs(in);
            refuse(s, frame.requestId, *fault, in);
        } else {
            answerError(s, reply, frame.requestId, *fault);
        }
        return;
    }
    if (frame.type == MsgType::ReqAuthenticate) {
        authenticate(s, frame);
        return;
    }
    if (frame.type == MsgType::ReqUserLogin) {
        login(s, frame);
        return;
    }
    if (!s.loggedIn) {
        if (frame.type == MsgType::ReqOrderInsert) {
            CThostFtdcInputOrderField in{};
            frame.recordAs(in);
            const RspError e = errors::make(errors::NotLoggedIn);
            answer(s, reply, frame.requestId, true, &e, &in);
        } else {
            answerError(s, reply, frame.requestId, errors::make(errors::NotLoggedIn));
        }
        return;
    }
    switch (frame.type) {
    case MsgType::ReqUserLogout:
        logout(s, frame);
        break;
    case MsgType::ReqSettlementInfoConfirm:
        confirm(s, frame);
        break;
    case MsgType::ReqQrySettlementInfo:
        querySettlement(s, frame);
        break;
    case MsgType::ReqQryInstrument:
        queryInstrument(s, frame);
        break;
    case MsgType::ReqQryInvestorPosition:
        queryPosition(s, frame);
        break;
    case MsgType::ReqQryTradingAccount:
        queryAccount(s, frame);
        break;
    case MsgType::ReqQryTrade:
        queryTrade(s, frame);
        break;
    case MsgType::ReqOrderInsert:
        insertOrder(s, frame);
        break;
    default:
        break;
    }
}

void TradeFront::authenticate(Session &s, const Frame &frame)
{
    CThostFtdcReqAuthenticateField req{};
    if (!frame.recordAs(req)) {
        answerError(s, MsgType::RspAuthenticate, frame.requestId, errors::make(errors::BadField));
        return;
    }
    const std::string brokerId = WireRecords::text(req.BrokerID);
    const std::string userId = WireRecords::text(req.UserID);
    const RspError e = engine.authenticate(brokerId, WireRecords::text(req.AppID),
                                           WireRecords::text(req.AuthCode));
    // A failed attempt also forgets an earlier success: the terminal is what it last proved.
    s.authenticated = !e;
    s.authBrokerId = e ? std::string() : brokerId;
    s.authUserId = e ? std::string() : userId;
    if (e) {
        log("authentication refused for '" + userId + "' app '" + WireRecords::text(req.AppID) +
            "'");
    }
    CThostFtdcRspAuthenticateField rsp{};
    WireRecords::set(rsp.BrokerID, brokerId);
    WireRecords::set(rsp.UserID, userId);
    WireRecords::set(rsp.UserProductInfo, WireRecords::text(req.UserProductInfo));
    WireRecords::set(rsp.AppID, WireRecords::text(req.AppID));
    rsp.AppType = THOST_FTDC_APP_TYPE_Investor;
    answer(s, MsgType::RspAuthenticate, frame.requestId, true, &e, &rsp);
}

void TradeFront::login(Session &s, const Frame &frame)
{
    CThostFtdcReqUserLoginField req{};
    if (!frame.recordAs(req)) {
        answerError(s, MsgType::RspUserLogin, frame.requestId, errors::make(errors::BadField));
        return;
    }
    if (s.loggedIn) {
        answerError(s, MsgType::RspUserLogin, frame.requestId,
                    errors::make(errors::DuplicateLogin));
        return;
    }
    const std::string brokerId = WireRecords::text(req.BrokerID);
    const std::string userId = WireRecords::text(req.UserID);
    // An authentication speaks for one user at one broker only.
    if (authRequired &&
        !(s.authenticated && s.authBrokerId == brokerId && s.authUserId == userId)) {
        log("login refused for '" + userId + "': not authenticated");
        answerError(s, MsgType::RspUserLogin, frame.requestId,
                    errors::make(errors::NotAuthenticated));
        return;
    }
    // The password is compared as sent: blanks may be part of it.
    std::string password(req.Password, strnlen(req.Password, sizeof req.Password));
    const RspError e = engine.login(brokerId, userId, password);
    if (e) {
        log("login refused for '" + userId + "': " + std::to_string(e.id));
        answerError(s, MsgType::RspUserLogin, frame.requestId, e);
        return;
    }
    if (s.sessionId == 0) {
        s.sessionId = engine.newSessionId();
    }
    s.loggedIn = true;
    s.investorId = userId;
    s.userId = userId;

    CThostFtdcRspUserLoginField rsp{};
    const std::string now = Calendar::nowTime();
    WireRecords::set(rsp.TradingDay, engine.tradingDay());
    WireRecords::set(rsp.LoginTime, now);
    WireRecords::set(rsp.BrokerID, brokerId);
    WireRecords::set(rsp.UserID, userId);
    WireRecords::set(rsp.SystemName, "VelmoraSimFront");
    rsp.FrontID = engine.config().frontId;
    rsp.SessionID = s.sessionId;
    WireRecords::set(rsp.MaxOrderRef,
                     WireRecords::paddedOrderRef(std::to_string(engine.maxOrderRef(userId))));
    for (auto *field :
         {&rsp.SHFETime, &rsp.DCETime, &rsp.CZCETime, &rsp.FFEXTime, &rsp.INETime, &rsp.GFEXTime}) {
        WireRecords::set(*field, now);
    }
    WireRecords::set(rsp.SysVersion, "velmora-simfront 1.0");
    const RspError ok;
    answer(s, MsgType::RspUserLogin, frame.requestId, true, &ok, &rsp);

    if (s.privateResume == THOST_TERT_RESTART) {
        replay(s, 0);
    } else if (s.privateResume == THOST_TERT_RESUME) {
        // What the flow folder holds of another trading day counts for nothing today.
        replay(s, s.flowDay == engine.tradingDay() ? s.privateSequence : 0);
    }
}

void TradeFront::replay(Session &s, int after)
{
    for (const FlowItem &item : engine.privateFlow(s.investorId)) {
        if (item.sequence > after) {
            s.link->send(flowFrame(item));
        }
    }
}

void TradeFront::logout(Session &s, const Frame &frame)
{
    CThostFtdcUserLogoutField rsp{};
    WireRecords::set(rsp.BrokerID, engine.config().brokerId);
    WireRecords::set(rsp.UserID, s.userId);
    s.loggedIn = false;
    s.investorId.clear();
    const RspError ok;
    answer(s, MsgType::RspUserLogout, frame.requestId, true, &ok, &rsp);
}

void TradeFront::confirm(Session &s, const Frame &frame)
{
    const std::string stamp = engine.confirm(s.investorId);
    CThostFtdcSettlementInfoConfirmField rsp{};
    WireRecords::set(rsp.BrokerID, engine.config().brokerId);
    WireRecords::set(rsp.InvestorID, s.investorId);
    WireRecords::set(rsp.ConfirmDate, stamp.substr(0, 8));
    WireRecords::set(rsp.ConfirmTime, stamp.size() > 9 ? stamp.substr(9) : std::string());
    rsp.SettlementID = 1;
    WireRecords::set(rsp.AccountID, s.investorId);
    WireRecords::set(rsp.CurrencyID, "CNY");
    const RspError ok;
    answer(s, MsgType::RspSettlementInfoConfirm, frame.requestId, true, &ok, &rsp);
}

void TradeFront::querySettlement(Session &s, const Frame &frame)
{
    CThostFtdcQrySettlementInfoField req{};
    frame.recordAs(req);
    const auto found = engine.statement(s.investorId, WireRecords::text(req.TradingDay));
    if (!found || found->second.empty()) {
        answer<CThostFtdcSettlementInfoField>(s, MsgType::RspQrySettlementInfo, frame.requestId,
                                              true, nullptr, nullptr);
        return;
    }
    // Cut by bytes, as the vendor's fronts do: a two-byte character may straddle two pieces,
    // and the client joins the bytes before decoding.
    const std::string &content = found->second;
    int sequence = 0;
    for (std::size_t pos = 0; pos < content.size(); pos += kPieceBytes) {
        const std::size_t n = std::min(kPieceBytes, content.size() - pos);
        CThostFtdcSettlementInfoField rec{};
        WireRecords::set(rec.TradingDay, found->first);
        rec.SettlementID = 1;
        WireRecords::set(rec.BrokerID, engine.config().brokerId);
        WireRecords::set(rec.InvestorID, s.investorId);
        rec.SequenceNo = ++sequence;
        std::memcpy(rec.Content, content.data() + pos, n);
        WireRecords::set(rec.AccountID, s.investorId);
        WireRecords::set(rec.CurrencyID, "CNY");
        answer(s, MsgType::RspQrySettlementInfo, frame.requestId, pos + n >= content.size(),
               nullptr, &rec);
    }
}

void TradeFront::queryInstrument(Session &s, const Frame &frame)
{
    CThostFtdcQryInstrumentField req{};
    frame.recordAs(req);
    std::string id = WireRecords::text(req.InstrumentID);
    if (id.empty()) {
        id = WireRecords::text(req.reserve1);
    }
    const auto list = engine.instruments(id, WireRecords::text(req.ExchangeID));
    if (list.empty()) {
        answer<CThostFtdcInstrumentField>(s, MsgType::RspQryInstrument, frame.requestId, true,
                                          nullptr, nullptr);
        return;
    }
    for (std::size_t i = 0; i < list.size(); ++i) {
        const auto rec = WireRecords::instrument(*list[i]);
        answer(s, MsgType::RspQryInstrument, frame.requestId, i + 1 == list.size(), nullptr, &rec);
    }
}

void TradeFront::queryPosition(Session &s, const Frame &frame)
{
    CThostFtdcQryInvestorPositionField req{};
    frame.recordAs(req);
    std::string id = WireRecords::text(req.InstrumentID);
    if (id.empty()) {
        id = WireRecords::text(req.reserve1);
    }
    const auto list = engine.positions(s.investorId, id);
    if (list.empty()) {
        answer<CThostFtdcInvestorPositionField>(s, MsgType::RspQryInvestorPosition, frame.requestId,
                                                true, nullptr, nullptr);
        return;
    }
    for (std::size_t i = 0; i < list.size(); ++i) {
        const auto rec = WireRecords::position(list[i], engine.config().brokerId, s.investorId,
                                               engine.tradingDay());
        answer(s, MsgType::RspQryInvestorPosition, frame.requestId, i + 1 == list.size(), nullptr,
               &rec);
    }
}

void TradeFront::queryAccount(Session &s, const Frame &frame)
{
    const auto rec = WireRecords::account(engine.account(s.investorId), engine.config().brokerId,
                                          engine.tradingDay());
    answer(s, MsgType::RspQryTradingAccount, frame.requestId, true, nullptr, &rec);
}

void TradeFront::queryTrade(Session &s, const Frame &frame)
{
    CThostFtdcQryTradeField req{};
    frame.recordAs(req);
    const std::string id = WireRecords::text(req.InstrumentID);
    std::vector<const Trade *> list;
    for (const Trade &t : engine.trades()) {
        if (t.investorId == s.investorId && (id.empty() || t.instrumentId == id)) {
            list.push_back(&t);
        }
    }
    if (list.empty()) {
        answer<CThostFtdcTradeField>(s, MsgType::RspQryTrade, frame.requestId, true, nullptr,
                                     nullptr);
        return;
    }
    for (std::size_t i = 0; i < list.size(); ++i) {
        const auto rec = WireRecords::trade(*list[i]);
        answer(s, MsgType::RspQryTrade, frame.requestId, i + 1 == list.size(), nullptr, &rec);
    }
}

void TradeFront::insertOrder(Session &s, const Frame &frame)
{
    CThostFtdcInputOrderField in{};
    frame.recordAs(in);
    OrderRequest request = WireRecords::orderRequest(in, frame.requestId);
    InsertResult result;
    if (request.investorId != s.investorId) {
        // An order for another investor than the one logged in on this session.
        result.brokerError = errors::make(errors::BadField);
    } else {
        result = engine.insertOrder(request, engine.config().frontId, s.sessionId);
    }
    if (result.brokerError) {
        refuse(s, frame.requestId, result.brokerError, in);
        return;
    }
    for (const FlowItem &item : result.stream) {
        toInvestor(s.investorId, item);
    }
}

} // namespace simfront
