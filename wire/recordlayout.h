#pragma once

#include "ThostFtdcUserApiStruct.h"

#include <cstddef>
#include <cstdint>

namespace velmora::wire {

// Message types of the wire protocol. Values are part of the protocol: never renumber.
enum class MsgType : std::uint16_t
{
    Heartbeat = 1,      // either way, no record; the front answers each one with one
    SubscribeTopic = 2, // client to trading front, TopicSubscription, sent after every connect
    // Front to client, no record: the front serves this connection. Sent once, first; a front
    // that is closed drops the connection before it.
    Welcome = 3,

    // Client to trading front (the request record of the same name).
    ReqUserLogin = 10,  // also to the market-data front
    ReqUserLogout = 11, // also to the market-data front
    ReqSettlementInfoConfirm = 12,
    ReqQrySettlementInfo = 13,
    ReqQryInstrument = 14,
    ReqQryInvestorPosition = 15,
    ReqQryTradingAccount = 16,
    ReqOrderInsert = 17,
    ReqQryTrade = 18,
    ReqAuthenticate = 19,

    // Client to market-data front, one SpecificInstrument per frame.
    SubscribeMarketData = 30,
    UnSubscribeMarketData = 31,

    // Front to client: answers to a request, carrying its request id; the record may be absent.
    RspUserLogin = 100,
    RspUserLogout = 101,
    RspSettlementInfoConfirm = 102,
    RspQrySettlementInfo = 103,
    RspQryInstrument = 104,
    RspQryInvestorPosition = 105,
    RspQryTradingAccount = 106,
    RspOrderInsert = 107,
    RspQryTrade = 108,
    RspOrderAction = 109,
    RspError = 110, // never a record
    RspSubMarketData = 111,
    RspUnSubMarketData = 112,
    RspAuthenticate = 113,

    // Front to client: notices, always with a record.
    RtnOrder = 200,
    RtnTrade = 201,
    ErrRtnOrderInsert = 202, // with the exchange's RspInfo
    ErrRtnOrderAction = 203, // with the exchange's RspInfo
    RtnDepthMarketData = 204,
};

// Which way a message travels.
enum class Direction
{
    ToFront,
    ToClient,
    Both, // in the table only (Heartbeat); a receiver expects ToFront or ToClient
};

// The record of MsgType::SubscribeTopic: the resume types given to SubscribePrivateTopic and
// SubscribePublicTopic (THOST_TE_RESUME_TYPE values), and for THOST_TERT_RESUME where the
// client's flow folder left off: the last sequence number it received of each stream on
// TradingDay (0 and "" when it has received nothing). Private-stream notices carry their
// sequence number in the frame's requestId.
struct TopicSubscription
{
    std::int32_t PrivateResumeType;
    std::int32_t PublicResumeType;
    std::int32_t PrivateSequence;
    std::int32_t PublicSequence;
    char TradingDay[12];
};

enum class RecordPresence
{
    Never,
    Optional,
    Always,
};

// A char-array field of a record: it must hold a NUL within its size.
struct TextField
{
    std::uint16_t offset;
    std::uint16_t size;
};

struct MessageRule
{
    MsgType type;
    const char *name;
    Direction direction;
    RecordPresence record;
    std::uint16_t recordSize;
    bool rspInfoAllowed;
    const TextField *texts;
    std::size_t textCount;
};

// The per-type table that the codec validates against.
class RecordLayout
{
public:
    // Null for a type the protocol does not know.
    static const MessageRule *rule(std::uint16_t type);
    static const MessageRule *rule(MsgType type) { return rule(static_cast<std::uint16_t>(type)); }

    // The text fields of CThostFtdcRspInfoField.
    static const TextField *rspInfoTexts(std::size_t &count);

    // True when every text field of the record holds a NUL.
    static bool textsTerminated(const TextField *texts, std::size_t count,
                                const unsigned char *record);

    // Writes a NUL into the last byte of every text field (over-long texts are cut).
    static void terminateTexts(const TextField *texts, std::size_t count, unsigned char *record);
};

} // namespace velmora::wire
