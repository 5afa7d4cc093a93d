#pragma once

// Velmora wire protocol: how the CTP API (ctpapi/) and the simulated front (sim/front/) talk.
//
// Notes for the front
// -------------------
// * Link `velmora_wire`; it brings the CTP headers of ctpapi/include and Asio.
// * A frame is a 12-byte header followed by an optional CThostFtdcRspInfoField and zero or one
//   record, both as the raw bytes of the struct (both sides compile the same headers):
//       u32 length     bytes after this field (8 + parts), little-endian, at most kMaxFrameSize - 4
//       u16 type       MsgType (recordlayout.h)
//       u16 flags      bit 0 bIsLast, bit 1 RspInfo present, bit 2 record present; others zero
//       i32 requestId  nRequestID of the request / of the request being answered; 0 for notices
//   docs/wire-protocol.md has the whole table of types, records and directions.
// * Per connection: wrap the accepted socket in a FramedConnection with Direction::ToFront (what
//   you expect to receive), start() it with a frame handler and a close handler, answer with
//   send(FrameCodec::encode(...)). Anything malformed (short or oversized length, unknown type,
//   wrong direction, unknown flag bits, record size not matching the type, a text field without
//   NUL) makes the connection call the close handler with CloseReason::BadFrame and the
//   DecodeError; log it (FrameCodec::errorText) and forget the connection: it is already closed.
// * Answer every Heartbeat with a Heartbeat: the API counts silence from the front and drops the
//   connection (reason 0x2001) after 4 heartbeat intervals (default 5 s, so 20 s).
// * After connecting, the trading API sends SubscribeTopic (TopicSubscription) before anything
//   else; PrivateResumeType THOST_TERT_RESTART asks for the trading day's order and trade
//   notices to be replayed after a successful login.
// * Answers: one frame per record, the request's requestId, bIsLast on the last; an empty answer is
//   one frame without a record and with bIsLast. pRspInfo: include RspInfo in the frame (ErrorID 0
//   for success, or the error with a GB2312 ErrorMsg); a frame without it reaches the client as a
//   null pRspInfo. The API ends a query's "unanswered" state when a frame of the matching Rsp type
//   (or RspError) with the query's requestId and bIsLast arrives.
// * Market data: the client sends one SubscribeMarketData frame per instrument (bIsLast on the
//   last); answer each with RspSubMarketData (same record, requestId 0), then send
//   RtnDepthMarketData notices (requestId 0, bIsLast set).
// * FrameCodec::encode cuts over-long texts (writes a NUL into the last byte of every text field),
//   so what you encode always passes the other side's checks.

#include "recordlayout.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace velmora::wire {

constexpr std::size_t kHeaderSize = 12;
// Large enough for the biggest record with an RspInfo; anything longer is hostile.
constexpr std::size_t kMaxFrameSize = 4096;

enum class DecodeError
{
    None,
    Truncated,        // fewer bytes than the header or its length announce
    TrailingBytes,    // more bytes than the length announces
    LengthTooSmall,   // length below the header's own 8 bytes
    LengthTooLarge,   // length above kMaxFrameSize - 4
    UnknownType,      // type not in the table
    WrongDirection,   // a client message sent to a client, or the reverse
    BadFlags,         // flag bits other than the three defined
    RecordMissing,    // type needs a record and has none
    RecordNotAllowed, // type never carries a record
    RspInfoNotAllowed,
    SizeMismatch,     // parts announced by the flags do not add up to the length
    TextNotTerminated // a char-array field (or ErrorMsg) without NUL
};

struct Frame
{
    MsgType type = MsgType::Heartbeat;
    std::int32_t requestId = 0;
    bool isLast = true;
    bool hasRspInfo = false;
    CThostFtdcRspInfoField rspInfo{};
    std::vector<unsigned char> record; // empty: no record

    // A copy of the record as T, or false when there is none or its size differs.
    template <class T> bool recordAs(T &out) const
    {
        if (record.size() != sizeof(T)) {
            return false;
        }
        std::memcpy(&out, record.data(), sizeof(T));
        return true;
    }
};

class FrameCodec
{
public:
    static constexpr std::uint16_t kFlagLast = 1;
    static constexpr std::uint16_t kFlagRspInfo = 2;
    static constexpr std::uint16_t kFlagRecord = 4;

    // A whole frame, length prefix included. Empty when the type is unknown, the record's size
    // does not match the type, or the type does not allow the parts given (a caller's mistake).
    static std::vector<unsigned char> encode(MsgType type, std::int32_t requestId, bool isLast,
                                             const CThostFtdcRspInfoField *rspInfo,
                                             const void *record, std::size_t recordSize);

    template <class T>
    static std::vector<unsigned char> encode(MsgType type, std::int32_t requestId, bool isLast,
                                             const CThostFtdcRspInfoField *rspInfo, const T *record)
    {
        return encode(type, requestId, isLast, rspInfo, record, record ? sizeof(T) : 0);
    }

    static std::vector<unsigned char> encode(const Frame &frame);

    // The announced body length from the first four bytes; an error when it is out of bounds.
    static DecodeError decodeLength(const unsigned char *prefix, std::uint32_t &bodyLength);

    // The body: everything after the length prefix.
    static DecodeError decodeBody(const unsigned char *body, std::size_t size, Direction expected,
                                  Frame &out);

    // Exactly one whole frame, length prefix included.
    static DecodeError decode(const unsigned char *data, std::size_t size, Direction expected,
                              Frame &out);

    static const char *errorText(DecodeError error);
};

} // namespace velmora::wire
