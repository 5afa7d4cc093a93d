// The wire protocol's codec: what it accepts, and everything hostile it must refuse.

#include "framecodec.h"
#include "framereader.h"
#include "frontaddress.h"

#include <QtTest>

#include <cstring>
#include <random>

using namespace velmora::wire;

namespace {

std::vector<unsigned char> sampleOrder()
{
    CThostFtdcInputOrderField order{};
    std::strcpy(order.BrokerID, "9999");
    std::strcpy(order.InstrumentID, "rb2705");
    std::strcpy(order.OrderRef, "1");
    order.Direction = THOST_FTDC_D_Buy;
    order.CombOffsetFlag[0] = THOST_FTDC_OF_CloseToday;
    order.LimitPrice = 3512.0;
    order.VolumeTotalOriginal = 3;
    CThostFtdcRspInfoField info{};
    info.ErrorID = 31;
    std::strcpy(info.ErrorMsg, "\xd7\xca\xbd\xf0\xb2\xbb\xd7\xe3"); // GB2312
    return FrameCodec::encode(MsgType::RspOrderInsert, 21, true, &info, &order);
}

void setU32(std::vector<unsigned char> &bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

} // namespace

class TestFrameCodec : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip();
    void everyTypeRoundTrips();
    void encoderRefusesMisuse();
    void encoderCutsOverlongText();
    void refusesHostileFrames_data();
    void refusesHostileFrames();
    void readerSplitsAStream();
    void readerRefusesOversizedLengthEarly();
    void randomBytesNeverCrash();
    void frontAddresses();
};

void TestFrameCodec::roundTrip()
{
    const std::vector<unsigned char> bytes = sampleOrder();
    QCOMPARE(bytes.size(),
             kHeaderSize + sizeof(CThostFtdcRspInfoField) + sizeof(CThostFtdcInputOrderField));
    Frame frame;
    QCOMPARE(FrameCodec::decode(bytes.data(), bytes.size(), Direction::ToClient, frame),
             DecodeError::None);
    QCOMPARE(frame.type, MsgType::RspOrderInsert);
    QCOMPARE(frame.requestId, 21);
    QVERIFY(frame.isLast);
    QVERIFY(frame.hasRspInfo);
    QCOMPARE(frame.rspInfo.ErrorID, 31);
    QCOMPARE(QByteArray(frame.rspInfo.ErrorMsg), QByteArray("\xd7\xca\xbd\xf0\xb2\xbb\xd7\xe3"));
    CThostFtdcInputOrderField order{};
    QVERIFY(frame.recordAs(order));
    QCOMPARE(QByteArray(order.InstrumentID), QByteArray("rb2705"));
    QCOMPARE(order.CombOffsetFlag[0], THOST_FTDC_OF_CloseToday);
    QCOMPARE(order.LimitPrice, 3512.0);
    QCOMPARE(order.VolumeTotalOriginal, 3);

    // An empty answer: no record, no RspInfo; and the same bytes again from the Frame.
    const auto empty =
        FrameCodec::encode(MsgType::RspQryInvestorPosition, -5, true, nullptr, nullptr, 0);
    QCOMPARE(empty.size(), kHeaderSize);
    QCOMPARE(FrameCodec::decode(empty.data(), empty.size(), Direction::ToClient, frame),
             DecodeError::None);
    QVERIFY(frame.record.empty() && !frame.hasRspInfo && frame.requestId == -5);
    QVERIFY(FrameCodec::encode(frame) == empty);
}

void TestFrameCodec::everyTypeRoundTrips()
{
    for (std::uint16_t type = 0; type < 300; ++type) {
        const MessageRule *rule = RecordLayout::rule(type);
        if (!rule) {
            continue;
        }
        std::vector<unsigned char> record(rule->recordSize, 0);
        const bool withRecord = rule->record != RecordPresence::Never;
        const CThostFtdcRspInfoField info{};
        const auto bytes =
            FrameCodec::encode(rule->type, 1, false, rule->rspInfoAllowed ? &info : nullptr,
                               withRecord ? record.data() : nullptr, record.size());
        QVERIFY2(!bytes.empty(), rule->name);
        Frame frame;
        const Direction receiver =
            rule->direction == Direction::Both ? Direction::ToClient : rule->direction;
        QCOMPARE(FrameCodec::decode(bytes.data(), bytes.size(), receiver, frame),
                 DecodeError::None);
        QCOMPARE(frame.type, rule->type);
        QCOMPARE(frame.record.size(), withRecord ? std::size_t(rule->recordSize) : 0u);
        QVERIFY(kHeaderSize + sizeof(CThostFtdcRspInfoField) + rule->recordSize <= kMaxFrameSize);
    }
}

void TestFrameCodec::encoderRefusesMisuse()
{
    CThostFtdcOrderField order{};
    CThostFtdcRspInfoField info{};
    // Wrong record for the type, a record where none belongs, none where one must be, RspInfo
    // on a notice, an unknown type.
    QVERIFY(FrameCodec::encode(MsgType::RtnTrade, 0, true, nullptr, &order).empty());
    QVERIFY(FrameCodec::encode(MsgType::RspError, 0, true, &info, &info).empty());
    QVERIFY(FrameCodec::encode(MsgType::RtnOrder, 0, true, nullptr, nullptr, 0).empty());
    QVERIFY(FrameCodec::encode(MsgType::RtnOrder, 0, true, &info, &order).empty());
    QVERIFY(FrameCodec::encode(static_cast<MsgType>(999), 0, true, nullptr, nullptr, 0).empty());
}

void TestFrameCodec::encoderCutsOverlongText()
{
    CThostFtdcSpecificInstrumentField instrument;
    std::memset(&instrument, 'x', sizeof(instrument));
    CThostFtdcRspInfoField info;
    std::memset(&info, 'y', sizeof(info));
    const auto bytes = FrameCodec::encode(MsgType::RspSubMarketData, 0, true, &info, &instrument);
    Frame frame;
    QCOMPARE(FrameCodec::decode(bytes.data(), bytes.size(), Direction::ToClient, frame),
             DecodeError::None);
    QVERIFY(frame.recordAs(instrument));
    QCOMPARE(std::strlen(instrument.InstrumentID), sizeof(instrument.InstrumentID) - 1);
    QCOMPARE(std::strlen(frame.rspInfo.ErrorMsg), sizeof(frame.rspInfo.ErrorMsg) - 1);
}

void TestFrameCodec::refusesHostileFrames_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("error");
    const std::vector<unsigned char> good = sampleOrder();
    const QByteArray valid(reinterpret_cast<const char *>(good.data()), int(good.size()));
    auto changed = [&](auto edit) {
        std::vector<unsigned char> bytes = good;
        edit(bytes);
        return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
    };
    const std::size_t record = kHeaderSize + sizeof(CThostFtdcRspInfoField);

    QTest::newRow("no bytes") << QByteArray() << int(DecodeError::Truncated);
    QTest::newRow("half a length") << valid.left(2) << int(DecodeError::Truncated);
    QTest::newRow("header only") << valid.left(int(kHeaderSize)) << int(DecodeError::Truncated);
    QTest::newRow("one byte short") << valid.left(valid.size() - 1) << int(DecodeError::Truncated);
    QTest::newRow("trailing byte") << valid + 'z' << int(DecodeError::TrailingBytes);
    QTest::newRow("length too small")
        << changed([](auto &b) { setU32(b, 0, 3); }) << int(DecodeError::LengthTooSmall);
    QTest::newRow("oversized length")
        << changed([](auto &b) { setU32(b, 0, 0x7fffffff); }) << int(DecodeError::LengthTooLarge);
    QTest::newRow("unknown type") << changed([](auto &b) {
        b[4] = 0x77;
        b[5] = 0x77;
    }) << int(DecodeError::UnknownType);
    QTest::newRow("type zero") << changed([](auto &b) { b[4] = 0; })
                               << int(DecodeError::UnknownType);
    QTest::newRow("request sent to a client")
        << changed([](auto &b) { b[4] = static_cast<unsigned char>(MsgType::ReqOrderInsert); })
        << int(DecodeError::WrongDirection);
    QTest::newRow("unknown flag") << changed([](auto &b) { b[6] |= 0x10; })
                                  << int(DecodeError::BadFlags);
    QTest::newRow("record of another type")
        << changed([](auto &b) { b[4] = static_cast<unsigned char>(MsgType::RspQryInstrument); })
        << int(DecodeError::SizeMismatch);
    QTest::newRow("record flag without record")
        << changed([](auto &b) { b[6] &= ~FrameCodec::kFlagRspInfo; })
        << int(DecodeError::SizeMismatch);
    QTest::newRow("record on RspError")
        << changed([](auto &b) { b[4] = static_cast<unsigned char>(MsgType::RspError); })
        << int(DecodeError::RecordNotAllowed);
    QTest::newRow("RspInfo on a notice")
        << changed([](auto &b) { b[4] = static_cast<unsigned char>(MsgType::RtnOrder); })
        << int(DecodeError::RspInfoNotAllowed);
    QTest::newRow("text without NUL") << changed([&](auto &b) {
        std::memset(&b[record + offsetof(CThostFtdcInputOrderField, InstrumentID)], 'A',
                    sizeof(TThostFtdcInstrumentIDType));
    }) << int(DecodeError::TextNotTerminated);
    QTest::newRow("reserve text without NUL") << changed([&](auto &b) {
        std::memset(&b[record + offsetof(CThostFtdcInputOrderField, reserve1)], 'A',
                    sizeof(TThostFtdcOldInstrumentIDType));
    }) << int(DecodeError::TextNotTerminated);
    QTest::newRow("ErrorMsg without NUL") << changed([](auto &b) {
        std::memset(&b[kHeaderSize + offsetof(CThostFtdcRspInfoField, ErrorMsg)], 0xb0,
                    sizeof(TThostFtdcErrorMsgType));
    }) << int(DecodeError::TextNotTerminated);

    const auto missing = FrameCodec::encode(MsgType::RspError, 0, true, nullptr, nullptr, 0);
    QByteArray notice(reinterpret_cast<const char *>(missing.data()), int(missing.size()));
    notice[4] = char(MsgType::RtnTrade);
    QTest::newRow("notice without record") << notice << int(DecodeError::RecordMissing);
}

void TestFrameCodec::refusesHostileFrames()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, error);
    Frame frame;
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    QCOMPARE(int(FrameCodec::decode(data, std::size_t(bytes.size()), Direction::ToClient, frame)),
             error);
    QVERIFY(std::strlen(FrameCodec::errorText(DecodeError(error))) > 0);
}

void TestFrameCodec::readerSplitsAStream()
{
    std::vector<unsigned char> stream;
    for (int i = 0; i < 5; ++i) {
        const auto order = sampleOrder();
        stream.insert(stream.end(), order.begin(), order.end());
        const auto heartbeat = FrameCodec::encode(MsgType::Heartbeat, 0, true, nullptr, nullptr, 0);
        stream.insert(stream.end(), heartbeat.begin(), heartbeat.end());
    }
    // Any cut of the stream gives the same ten frames.
    for (std::size_t chunk : {std::size_t(1), std::size_t(7), std::size_t(500), stream.size()}) {
        FrameReader reader(Direction::ToClient);
        int frames = 0;
        Frame frame;
        DecodeError error;
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            reader.append(stream.data() + at, std::min(chunk, stream.size() - at));
            FrameReader::Status status;
            while ((status = reader.next(frame, error)) == FrameReader::Status::Ready) {
                QCOMPARE(frame.type, frames % 2 ? MsgType::Heartbeat : MsgType::RspOrderInsert);
                ++frames;
            }
            QCOMPARE(status, FrameReader::Status::NeedMore);
        }
        QCOMPARE(frames, 10);
        QCOMPARE(reader.buffered(), std::size_t(0));
    }
}

void TestFrameCodec::readerRefusesOversizedLengthEarly()
{
    FrameReader reader(Direction::ToFront);
    const unsigned char huge[] = {0x00, 0x00, 0x10, 0x00};
    reader.append(huge, sizeof(huge));
    Frame frame;
    DecodeError error;
    QCOMPARE(reader.next(frame, error), FrameReader::Status::Error);
    QCOMPARE(error, DecodeError::LengthTooLarge);
    // It stays failed: the stream has no framing left.
    const auto heartbeat = FrameCodec::encode(MsgType::Heartbeat, 0, true, nullptr, nullptr, 0);
    reader.append(heartbeat.data(), heartbeat.size());
    QCOMPARE(reader.next(frame, error), FrameReader::Status::Error);
}

void TestFrameCodec::randomBytesNeverCrash()
{
    std::mt19937 random(20250101);
    const std::vector<unsigned char> good = sampleOrder();
    int accepted = 0;
    for (int i = 0; i < 10000; ++i) {
        std::vector<unsigned char> bytes = good;
        if (i % 2) {
            bytes.resize(random() % (good.size() + 8));
        }
        for (int flips = 1 + int(random() % 4); flips > 0 && !bytes.empty(); --flips) {
            bytes[random() % bytes.size()] = static_cast<unsigned char>(random());
        }
        Frame frame;
        if (FrameCodec::decode(bytes.data(), bytes.size(), Direction::ToClient, frame) ==
            DecodeError::None) {
            ++accepted;
            QVERIFY(frame.record.size() == sizeof(CThostFtdcInputOrderField) ||
                    frame.record.empty());
        }
    }
    QVERIFY(accepted < 10000);
}

void TestFrameCodec::frontAddresses()
{
    std::string host;
    unsigned short port = 1;
    QVERIFY(FrontAddress::parse("tcp://127.0.0.1:41205", host, port));
    QCOMPARE(QString::fromStdString(host), QString("127.0.0.1"));
    QCOMPARE(port, 41205);
    QVERIFY(FrontAddress::parse("localhost:0", host, port));
    QCOMPARE(port, 0);
    QVERIFY(FrontAddress::parse("tcp://[::1]:5/", host, port));
    QCOMPARE(QString::fromStdString(host), QString("::1"));
    for (const char *bad :
         {"", "tcp://", "tcp://host", "host:", ":80", "host:65536", "host:8x", "host:123456"}) {
        QVERIFY2(!FrontAddress::parse(bad, host, port), bad);
    }
}

QTEST_GUILESS_MAIN(TestFrameCodec)
#include "tst_framecodec.moc"
