#include "framecodec.h"

namespace velmora::wire {

namespace {

void putU16(unsigned char *p, std::uint16_t v)
{
    p[0] = static_cast<unsigned char>(v & 0xff);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void putU32(unsigned char *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xff);
    }
}

std::uint16_t getU16(const unsigned char *p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t getU32(const unsigned char *p)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
}

} // namespace

std::vector<unsigned char> FrameCodec::encode(MsgType type, std::int32_t requestId, bool isLast,
                                              const CThostFtdcRspInfoField *rspInfo,
                                              const void *record, std::size_t recordSize)
{
    const MessageRule *rule = RecordLayout::rule(type);
    if (!rule) {
        return {};
    }
    if (record && (rule->record == RecordPresence::Never || recordSize != rule->recordSize)) {
        return {};
    }
    if (!record && rule->record == RecordPresence::Always) {
        return {};
    }
    if (rspInfo && !rule->rspInfoAllowed) {
        return {};
    }

    const std::size_t size =
        kHeaderSize + (rspInfo ? sizeof(CThostFtdcRspInfoField) : 0) + (record ? recordSize : 0);
    std::vector<unsigned char> out(size);
    std::uint16_t flags = 0;
    if (isLast) {
        flags |= kFlagLast;
    }
    if (rspInfo) {
        flags |= kFlagRspInfo;
    }
    if (record) {
        flags |= kFlagRecord;
    }
    putU32(out.data(), static_cast<std::uint32_t>(size - 4));
    putU16(out.data() + 4, static_cast<std::uint16_t>(type));
    putU16(out.data() + 6, flags);
    putU32(out.data() + 8, static_cast<std::uint32_t>(requestId));

    unsigned char *p = out.data() + kHeaderSize;
    if (rspInfo) {
        std::memcpy(p, rspInfo, sizeof(CThostFtdcRspInfoField));
        std::size_t count = 0;
        const TextField *texts = RecordLayout::rspInfoTexts(count);
        RecordLayout::terminateTexts(texts, count, p);
        p += sizeof(CThostFtdcRspInfoField);
    }
    if (record) {
        std::memcpy(p, record, recordSize);
        RecordLayout::terminateTexts(rule->texts, rule->textCount, p);
    }
    return out;
}

std::vector<unsigned char> FrameCodec::encode(const Frame &frame)
{
    return encode(frame.type, frame.requestId, frame.isLast,
                  frame.hasRspInfo ? &frame.rspInfo : nullptr,
                  frame.record.empty() ? nullptr : frame.record.data(), frame.record.size());
}

DecodeError FrameCodec::decodeLength(const unsigned char *prefix, std::uint32_t &bodyLength)
{
    bodyLength = getU32(prefix);
    if (bodyLength < kHeaderSize - 4) {
        return DecodeError::LengthTooSmall;
    }
    if (bodyLength > kMaxFrameSize - 4) {
        return DecodeError::LengthTooLarge;
    }
    return DecodeError::None;
}

DecodeError FrameCodec::decodeBody(const unsigned char *body, std::size_t size, Direction expected,
                                   Frame &out)
{
    if (size < kHeaderSize - 4) {
        return DecodeError::Truncated;
    }
    if (size > kMaxFrameSize - 4) {
        return DecodeError::LengthTooLarge;
    }
    const std::uint16_t type = getU16(body);
    const std::uint16_t flags = getU16(body + 2);
    const MessageRule *rule = RecordLayout::rule(type);
    if (!rule) {
        return DecodeError::UnknownType;
    }
    if (rule->direction != Direction::Both && rule->direction != expected) {
        return DecodeError::WrongDirection;
    }
    if (flags & ~(kFlagLast | kFlagRspInfo | kFlagRecord)) {
        return DecodeError::BadFlags;
    }
    const bool hasRspInfo = flags & kFlagRspInfo;
    const bool hasRecord = flags & kFlagRecord;
    if (hasRecord && rule->record == RecordPresence::Never) {
        return DecodeError::RecordNotAllowed;
    }
    if (!hasRecord && rule->record == RecordPresence::Always) {
        return DecodeError::RecordMissing;
    }
    if (hasRspInfo && !rule->rspInfoAllowed) {
        return DecodeError::RspInfoNotAllowed;
    }
    const std::size_t expectedSize = (kHeaderSize - 4) +
                                     (hasRspInfo ? sizeof(CThostFtdcRspInfoField) : 0) +
                                     (hasRecord ? rule->recordSize : 0);
    if (size != expectedSize) {
        return DecodeError::SizeMismatch;
    }

    const unsigned char *p = body + (kHeaderSize - 4);
    if (hasRspInfo) {
        std::size_t count = 0;
        const TextField *texts = RecordLayout::rspInfoTexts(count);
        if (!RecordLayout::textsTerminated(texts, count, p)) {
            return DecodeError::TextNotTerminated;
        }
    }
    const unsigned char *record = p + (hasRspInfo ? sizeof(CThostFtdcRspInfoField) : 0);
    if (hasRecord && !RecordLayout::textsTerminated(rule->texts, rule->textCount, record)) {
        return DecodeError::TextNotTerminated;
    }

    out.type = rule->type;
    out.requestId = static_cast<std::int32_t>(getU32(body + 4));
    out.isLast = flags & kFlagLast;
    out.hasRspInfo = hasRspInfo;
    if (hasRspInfo) {
        std::memcpy(&out.rspInfo, p, sizeof(CThostFtdcRspInfoField));
    } else {
        out.rspInfo = CThostFtdcRspInfoField{};
    }
    if (hasRecord) {
        out.record.assign(record, record + rule->recordSize);
    } else {
        out.record.clear();
    }
    return DecodeError::None;
}

DecodeError FrameCodec::decode(const unsigned char *data, std::size_t size, Direction expected,
                               Frame &out)
{
    if (size < 4) {
        return DecodeError::Truncated;
    }
    std::uint32_t bodyLength = 0;
    const DecodeError lengthError = decodeLength(data, bodyLength);
    if (lengthError != DecodeError::None) {
        return lengthError;
    }
    if (size - 4 < bodyLength) {
        return DecodeError::Truncated;
    }
    if (size - 4 > bodyLength) {
        return DecodeError::TrailingBytes;
    }
    return decodeBody(data + 4, bodyLength, expected, out);
}

const char *FrameCodec::errorText(DecodeError error)
{
    switch (error) {
    case DecodeError::None:
        return "no error";
    case DecodeError::Truncated:
        return "truncated frame";
    case DecodeError::TrailingBytes:
        return "bytes after the frame";
    case DecodeError::LengthTooSmall:
        return "length below the header size";
    case DecodeError::LengthTooLarge:
        return "length above the maximum frame size";
    case DecodeError::UnknownType:
        return "unknown message type";
    case DecodeError::WrongDirection:
        return "message type sent the wrong way";
    case DecodeError::BadFlags:
        return "unknown flag bits";
    case DecodeError::RecordMissing:
        return "record missing";
    case DecodeError::RecordNotAllowed:
        return "record not allowed for the type";
    case DecodeError::RspInfoNotAllowed:
        return "response info not allowed for the type";
    case DecodeError::SizeMismatch:
        return "record size does not match the type";
    case DecodeError::TextNotTerminated:
        return "text field without NUL";
    }
    return "unknown error";
}

} // namespace velmora::wire
