#include "recordlayout.h"

#include <cstddef>
#include <cstring>

namespace velmora::wire {

namespace {

#define VELMORA_TEXT(record, field)                                                                \
    TextField                                                                                      \
    {                                                                                              \
        static_cast<std::uint16_t>(offsetof(CThostFtdc##record##Field, field)),                    \
            static_cast<std::uint16_t>(sizeof(CThostFtdc##record##Field::field))                   \
    }

const TextField kReqUserLoginTexts[] = {
    VELMORA_TEXT(ReqUserLogin, TradingDay),      VELMORA_TEXT(ReqUserLogin, BrokerID),
    VELMORA_TEXT(ReqUserLogin, UserID),          VELMORA_TEXT(ReqUserLogin, Password),
    VELMORA_TEXT(ReqUserLogin, UserProductInfo), VELMORA_TEXT(ReqUserLogin, InterfaceProductInfo),
    VELMORA_TEXT(ReqUserLogin, ProtocolInfo),    VELMORA_TEXT(ReqUserLogin, MacAddress),
    VELMORA_TEXT(ReqUserLogin, OneTimePassword), VELMORA_TEXT(ReqUserLogin, reserve1),
    VELMORA_TEXT(ReqUserLogin, LoginRemark),     VELMORA_TEXT(ReqUserLogin, ClientIPAddress)};
const TextField kReqAuthenticateTexts[] = {
    VELMORA_TEXT(ReqAuthenticate, BrokerID), VELMORA_TEXT(ReqAuthenticate, UserID),
    VELMORA_TEXT(ReqAuthenticate, UserProductInfo), VELMORA_TEXT(ReqAuthenticate, AuthCode),
    VELMORA_TEXT(ReqAuthenticate, AppID)};
const TextField kRspAuthenticateTexts[] = {
    VELMORA_TEXT(RspAuthenticate, BrokerID), VELMORA_TEXT(RspAuthenticate, UserID),
    VELMORA_TEXT(RspAuthenticate, UserProductInfo), VELMORA_TEXT(RspAuthenticate, AppID)};
const TextField kRspUserLoginTexts[] = {
    VELMORA_TEXT(RspUserLogin, TradingDay), VELMORA_TEXT(RspUserLogin, LoginTime),
    VELMORA_TEXT(RspUserLogin, BrokerID),   VELMORA_TEXT(RspUserLogin, UserID),
    VELMORA_TEXT(RspUserLogin, SystemName), VELMORA_TEXT(RspUserLogin, MaxOrderRef),
    VELMORA_TEXT(RspUserLogin, SHFETime),   VELMORA_TEXT(RspUserLogin, DCETime),
    VELMORA_TEXT(RspUserLogin, CZCETime),   VELMORA_TEXT(RspUserLogin, FFEXTime),
    VELMORA_TEXT(RspUserLogin, INETime),    VELMORA_TEXT(RspUserLogin, SysVersion),
    VELMORA_TEXT(RspUserLogin, GFEXTime)};
const TextField kUserLogoutTexts[] = {VELMORA_TEXT(UserLogout, BrokerID),
                                      VELMORA_TEXT(UserLogout, UserID)};
const TextField kRspInfoTexts[] = {VELMORA_TEXT(RspInfo, ErrorMsg)};
const TextField kSettlementInfoConfirmTexts[] = {VELMORA_TEXT(SettlementInfoConfirm, BrokerID),
                                                 VELMORA_TEXT(SettlementInfoConfirm, InvestorID),
                                                 VELMORA_TEXT(SettlementInfoConfirm, ConfirmDate),
                                                 VELMORA_TEXT(SettlementInfoConfirm, ConfirmTime),
                                                 VELMORA_TEXT(SettlementInfoConfirm, AccountID),
                                                 VELMORA_TEXT(SettlementInfoConfirm, CurrencyID)};
const TextField kQrySettlementInfoTexts[] = {
    VELMORA_TEXT(QrySettlementInfo, BrokerID), VELMORA_TEXT(QrySettlementInfo, InvestorID),
    VELMORA_TEXT(QrySettlementInfo, TradingDay), VELMORA_TEXT(QrySettlementInfo, AccountID),
    VELMORA_TEXT(QrySettlementInfo, CurrencyID)};
const TextField kSettlementInfoTexts[] = {
    VELMORA_TEXT(SettlementInfo, TradingDay), VELMORA_TEXT(SettlementInfo, BrokerID),
    VELMORA_TEXT(SettlementInfo, InvestorID), VELMORA_TEXT(SettlementInfo, Content),
    VELMORA_TEXT(SettlementInfo, AccountID),  VELMORA_TEXT(SettlementInfo, CurrencyID)};
const TextField kQryInstrumentTexts[] = {
    VELMORA_TEXT(QryInstrument, reserve1),     VELMORA_TEXT(QryInstrument, ExchangeID),
    VELMORA_TEXT(QryInstrument, reserve2),     VELMORA_TEXT(QryInstrument, reserve3),
    VELMORA_TEXT(QryInstrument, InstrumentID), VELMORA_TEXT(QryInstrument, ExchangeInstID),
    VELMORA_TEXT(QryInstrument, ProductID)};
const TextField kInstrumentTexts[] = {
    VELMORA_TEXT(Instrument, reserve1),         VELMORA_TEXT(Instrument, ExchangeID),
    VELMORA_TEXT(Instrument, InstrumentName),   VELMORA_TEXT(Instrument, reserve2),
    VELMORA_TEXT(Instrument, reserve3),         VELMORA_TEXT(Instrument, CreateDate),
    VELMORA_TEXT(Instrument, OpenDate),         VELMORA_TEXT(Instrument, ExpireDate),
    VELMORA_TEXT(Instrument, StartDelivDate),   VELMORA_TEXT(Instrument, EndDelivDate),
    VELMORA_TEXT(Instrument, reserve4),         VELMORA_TEXT(Instrument, InstrumentID),
    VELMORA_TEXT(Instrument, ExchangeInstID),   VELMORA_TEXT(Instrument, ProductID),
    VELMORA_TEXT(Instrument, UnderlyingInstrID)};
const TextField kQryInvestorPositionTexts[] = {VELMORA_TEXT(QryInvestorPosition, BrokerID),
                                               VELMORA_TEXT(QryInvestorPosition, InvestorID),
                                               VELMORA_TEXT(QryInvestorPosition, reserve1),
                                               VELMORA_TEXT(QryInvestorPosition, ExchangeID),
                                               VELMORA_TEXT(QryInvestorPosition, InvestUnitID),
                                               VELMORA_TEXT(QryInvestorPosition, InstrumentID)};
const TextField kInvestorPositionTexts[] = {
    VELMORA_TEXT(InvestorPosition, reserve1),    VELMORA_TEXT(InvestorPosition, BrokerID),
    VELMORA_TEXT(InvestorPosition, InvestorID),  VELMORA_TEXT(InvestorPosition, TradingDay),
    VELMORA_TEXT(InvestorPosition, ExchangeID),  VELMORA_TEXT(InvestorPosition, InvestUnitID),
    VELMORA_TEXT(InvestorPosition, InstrumentID)};
const TextField kQryTradingAccountTexts[] = {
    VELMORA_TEXT(QryTradingAccount, BrokerID), VELMORA_TEXT(QryTradingAccount, InvestorID),
    VELMORA_TEXT(QryTradingAccount, CurrencyID), VELMORA_TEXT(QryTradingAccount, AccountID)};
const TextField kTradingAccountTexts[] = {
    VELMORA_TEXT(TradingAccount, BrokerID), VELMORA_TEXT(TradingAccount, AccountID),
    VELMORA_TEXT(TradingAccount, TradingDay), VELMORA_TEXT(TradingAccount, CurrencyID)};
const TextField kInputOrderTexts[] = {
    VELMORA_TEXT(InputOrder, BrokerID),      VELMORA_TEXT(InputOrder, InvestorID),
    VELMORA_TEXT(InputOrder, reserve1),      VELMORA_TEXT(InputOrder, OrderRef),
    VELMORA_TEXT(InputOrder, UserID),        VELMORA_TEXT(InputOrder, CombOffsetFlag),
    VELMORA_TEXT(InputOrder, CombHedgeFlag), VELMORA_TEXT(InputOrder, GTDDate),
    VELMORA_TEXT(InputOrder, BusinessUnit),  VELMORA_TEXT(InputOrder, ExchangeID),
    VELMORA_TEXT(InputOrder, InvestUnitID),  VELMORA_TEXT(InputOrder, AccountID),
    VELMORA_TEXT(InputOrder, CurrencyID),    VELMORA_TEXT(InputOrder, ClientID),
    VELMORA_TEXT(InputOrder, reserve2),      VELMORA_TEXT(InputOrder, MacAddress),
    VELMORA_TEXT(InputOrder, InstrumentID),  VELMORA_TEXT(InputOrder, IPAddress)};
const TextField kInputOrderActionTexts[] = {
    VELMORA_TEXT(InputOrderAction, BrokerID),     VELMORA_TEXT(InputOrderAction, InvestorID),
    VELMORA_TEXT(InputOrderAction, OrderRef),     VELMORA_TEXT(InputOrderAction, ExchangeID),
    VELMORA_TEXT(InputOrderAction, OrderSysID),   VELMORA_TEXT(InputOrderAction, UserID),
    VELMORA_TEXT(InputOrderAction, reserve1),     VELMORA_TEXT(InputOrderAction, InvestUnitID),
    VELMORA_TEXT(InputOrderAction, reserve2),     VELMORA_TEXT(InputOrderAction, MacAddress),
    VELMORA_TEXT(InputOrderAction, InstrumentID), VELMORA_TEXT(InputOrderAction, IPAddress)};
const TextField kOrderTexts[] = {VELMORA_TEXT(Order, BrokerID),
                                 VELMORA_TEXT(Order, InvestorID),
                                 VELMORA_TEXT(Order, reserve1),
                                 VELMORA_TEXT(Order, OrderRef),
                                 VELMORA_TEXT(Order, UserID),
                                 VELMORA_TEXT(Order, CombOffsetFlag),
                                 VELMORA_TEXT(Order, CombHedgeFlag),
                                 VELMORA_TEXT(Order, GTDDate),
                                 VELMORA_TEXT(Order, BusinessUnit),
                                 VELMORA_TEXT(Order, OrderLocalID),
                                 VELMORA_TEXT(Order, ExchangeID),
                                 VELMORA_TEXT(Order, ParticipantID),
                                 VELMORA_TEXT(Order, ClientID),
                                 VELMORA_TEXT(Order, reserve2),
                                 VELMORA_TEXT(Order, TraderID),
                                 VELMORA_TEXT(Order, TradingDay),
                                 VELMORA_TEXT(Order, OrderSysID),
                                 VELMORA_TEXT(Order, InsertDate),
                                 VELMORA_TEXT(Order, InsertTime),
                                 VELMORA_TEXT(Order, ActiveTime),
                                 VELMORA_TEXT(Order, SuspendTime),
                                 VELMORA_TEXT(Order, UpdateTime),
                                 VELMORA_TEXT(Order, CancelTime),
                                 VELMORA_TEXT(Order, ActiveTraderID),
                                 VELMORA_TEXT(Order, ClearingPartID),
                                 VELMORA_TEXT(Order, UserProductInfo),
                                 VELMORA_TEXT(Order, StatusMsg),
                                 VELMORA_TEXT(Order, ActiveUserID),
                                 VELMORA_TEXT(Order, RelativeOrderSysID),
                                 VELMORA_TEXT(Order, BranchID),
                                 VELMORA_TEXT(Order, InvestUnitID),
                                 VELMORA_TEXT(Order, AccountID),
                                 VELMORA_TEXT(Order, CurrencyID),
                                 VELMORA_TEXT(Order, reserve3),
                                 VELMORA_TEXT(Order, MacAddress),
                                 VELMORA_TEXT(Order, InstrumentID),
                                 VELMORA_TEXT(Order, ExchangeInstID),
                                 VELMORA_TEXT(Order, IPAddress)};
const TextField kTradeTexts[] = {
    VELMORA_TEXT(Trade, BrokerID),      VELMORA_TEXT(Trade, InvestorID),
    VELMORA_TEXT(Trade, reserve1),      VELMORA_TEXT(Trade, OrderRef),
    VELMORA_TEXT(Trade, UserID),        VELMORA_TEXT(Trade, ExchangeID),
    VELMORA_TEXT(Trade, TradeID),       VELMORA_TEXT(Trade, OrderSysID),
    VELMORA_TEXT(Trade, ParticipantID), VELMORA_TEXT(Trade, ClientID),
    VELMORA_TEXT(Trade, reserve2),      VELMORA_TEXT(Trade, TradeDate),
    VELMORA_TEXT(Trade, TradeTime),     VELMORA_TEXT(Trade, TraderID),
    VELMORA_TEXT(Trade, OrderLocalID),  VELMORA_TEXT(Trade, ClearingPartID),
    VELMORA_TEXT(Trade, BusinessUnit),  VELMORA_TEXT(Trade, TradingDay),
    VELMORA_TEXT(Trade, InvestUnitID),  VELMORA_TEXT(Trade, InstrumentID),
    VELMORA_TEXT(Trade, ExchangeInstID)};
const TextField kOrderActionTexts[] = {
    VELMORA_TEXT(OrderAction, BrokerID),      VELMORA_TEXT(OrderAction, InvestorID),
    VELMORA_TEXT(OrderAction, OrderRef),      VELMORA_TEXT(OrderAction, ExchangeID),
    VELMORA_TEXT(OrderAction, OrderSysID),    VELMORA_TEXT(OrderAction, ActionDate),
    VELMORA_TEXT(OrderAction, ActionTime),    VELMORA_TEXT(OrderAction, TraderID),
    VELMORA_TEXT(OrderAction, OrderLocalID),  VELMORA_TEXT(OrderAction, ActionLocalID),
    VELMORA_TEXT(OrderAction, ParticipantID), VELMORA_TEXT(OrderAction, ClientID),
    VELMORA_TEXT(OrderAction, BusinessUnit),  VELMORA_TEXT(OrderAction, UserID),
    VELMORA_TEXT(OrderAction, StatusMsg),     VELMORA_TEXT(OrderAction, reserve1),
    VELMORA_TEXT(OrderAction, BranchID),      VELMORA_TEXT(OrderAction, InvestUnitID),
    VELMORA_TEXT(OrderAction, reserve2),      VELMORA_TEXT(OrderAction, MacAddress),
    VELMORA_TEXT(OrderAction, InstrumentID),  VELMORA_TEXT(OrderAction, IPAddress)};
const TextField kQryTradeTexts[] = {
    VELMORA_TEXT(QryTrade, BrokerID),     VELMORA_TEXT(QryTrade, InvestorID),
    VELMORA_TEXT(QryTrade, reserve1),     VELMORA_TEXT(QryTrade, ExchangeID),
    VELMORA_TEXT(QryTrade, TradeID),      VELMORA_TEXT(QryTrade, TradeTimeStart),
    VELMORA_TEXT(QryTrade, TradeTimeEnd), VELMORA_TEXT(QryTrade, InvestUnitID),
    VELMORA_TEXT(QryTrade, InstrumentID)};
const TextField kTopicSubscriptionTexts[] = {
    {static_cast<std::uint16_t>(offsetof(TopicSubscription, TradingDay)),
     static_cast<std::uint16_t>(sizeof(TopicSubscription::TradingDay))}};
const TextField kSpecificInstrumentTexts[] = {VELMORA_TEXT(SpecificInstrument, reserve1),
                                              VELMORA_TEXT(SpecificInstrument, InstrumentID)};
const TextField kDepthMarketDataTexts[] = {
    VELMORA_TEXT(DepthMarketData, TradingDay),   VELMORA_TEXT(DepthMarketData, reserve1),
    VELMORA_TEXT(DepthMarketData, ExchangeID),   VELMORA_TEXT(DepthMarketData, reserve2),
    VELMORA_TEXT(DepthMarketData, UpdateTime),   VELMORA_TEXT(DepthMarketData, ActionDay),
    VELMORA_TEXT(DepthMarketData, InstrumentID), VELMORA_TEXT(DepthMarketData, ExchangeInstID)};

#undef VELMORA_TEXT

template <std::size_t N> constexpr std::size_t countOf(const TextField (&)[N])
{
    return N;
}

#define VELMORA_RULE(type, direction, presence, record, rspInfo)                                   \
    MessageRule                                                                                    \
    {                                                                                              \
        MsgType::type, #type, Direction::direction, RecordPresence::presence,                      \
            static_cast<std::uint16_t>(sizeof(CThostFtdc##record##Field)), rspInfo,                \
            k##record##Texts, countOf(k##record##Texts)                                            \
    }

const MessageRule kRules[] = {
    {MsgType::Heartbeat, "Heartbeat", Direction::Both, RecordPresence::Never, 0, false, nullptr, 0},
    {MsgType::SubscribeTopic, "SubscribeTopic", Direction::ToFront, RecordPresence::Always,
     sizeof(TopicSubscription), false, kTopicSubscriptionTexts, countOf(kTopicSubscriptionTexts)},
    {MsgType::Welcome, "Welcome", Direction::ToClient, RecordPresence::Never, 0, false, nullptr, 0},
    VELMORA_RULE(ReqAuthenticate, ToFront, Always, ReqAuthenticate, false),
    VELMORA_RULE(ReqUserLogin, ToFront, Always, ReqUserLogin, false),
    VELMORA_RULE(ReqUserLogout, ToFront, Always, UserLogout, false),
    VELMORA_RULE(ReqSettlementInfoConfirm, ToFront, Always, SettlementInfoConfirm, false),
    VELMORA_RULE(ReqQrySettlementInfo, ToFront, Always, QrySettlementInfo, false),
    VELMORA_RULE(ReqQryInstrument, ToFront, Always, QryInstrument, false),
    VELMORA_RULE(ReqQryInvestorPosition, ToFront, Always, QryInvestorPosition, false),
    VELMORA_RULE(ReqQryTradingAccount, ToFront, Always, QryTradingAccount, false),
    VELMORA_RULE(ReqOrderInsert, ToFront, Always, InputOrder, false),
    VELMORA_RULE(ReqQryTrade, ToFront, Always, QryTrade, false),
    VELMORA_RULE(SubscribeMarketData, ToFront, Always, SpecificInstrument, false),
    VELMORA_RULE(UnSubscribeMarketData, ToFront, Always, SpecificInstrument, false),
    VELMORA_RULE(RspUserLogin, ToClient, Optional, RspUserLogin, true),
    VELMORA_RULE(RspUserLogout, ToClient, Optional, UserLogout, true),
    VELMORA_RULE(RspSettlementInfoConfirm, ToClient, Optional, SettlementInfoConfirm, true),
    VELMORA_RULE(RspQrySettlementInfo, ToClient, Optional, SettlementInfo, true),
    VELMORA_RULE(RspQryInstrument, ToClient, Optional, Instrument, true),
    VELMORA_RULE(RspQryInvestorPosition, ToClient, Optional, InvestorPosition, true),
    VELMORA_RULE(RspQryTradingAccount, ToClient, Optional, TradingAccount, true),
    VELMORA_RULE(RspOrderInsert, ToClient, Optional, InputOrder, true),
    VELMORA_RULE(RspQryTrade, ToClient, Optional, Trade, true),
    VELMORA_RULE(RspOrderAction, ToClient, Optional, InputOrderAction, true),
    {MsgType::RspError, "RspError", Direction::ToClient, RecordPresence::Never, 0, true, nullptr,
     0},
    VELMORA_RULE(RspSubMarketData, ToClient, Optional, SpecificInstrument, true),
    VELMORA_RULE(RspUnSubMarketData, ToClient, Optional, SpecificInstrument, true),
    VELMORA_RULE(RspAuthenticate, ToClient, Optional, RspAuthenticate, true),
    VELMORA_RULE(RtnOrder, ToClient, Always, Order, false),
    VELMORA_RULE(RtnTrade, ToClient, Always, Trade, false),
    VELMORA_RULE(ErrRtnOrderInsert, ToClient, Always, InputOrder, true),
    VELMORA_RULE(ErrRtnOrderAction, ToClient, Always, OrderAction, true),
    VELMORA_RULE(RtnDepthMarketData, ToClient, Always, DepthMarketData, false),
};

#undef VELMORA_RULE

} // namespace

const MessageRule *RecordLayout::rule(std::uint16_t type)
{
    for (const MessageRule &r : kRules) {
        if (static_cast<std::uint16_t>(r.type) == type) {
            return &r;
        }
    }
    return nullptr;
}

const TextField *RecordLayout::rspInfoTexts(std::size_t &count)
{
    count = countOf(kRspInfoTexts);
    return kRspInfoTexts;
}

bool RecordLayout::textsTerminated(const TextField *texts, std::size_t count,
                                   const unsigned char *record)
{
    for (std::size_t i = 0; i < count; ++i) {
        if (std::memchr(record + texts[i].offset, 0, texts[i].size) == nullptr) {
            return false;
        }
    }
    return true;
}

void RecordLayout::terminateTexts(const TextField *texts, std::size_t count, unsigned char *record)
{
    for (std::size_t i = 0; i < count; ++i) {
        record[texts[i].offset + texts[i].size - 1] = 0;
    }
}

} // namespace velmora::wire
