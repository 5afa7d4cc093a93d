// The framed connection's writing: frames sent from a caller thread and from the I/O thread at
// once, while the peer lets the socket fill up, arrive whole and in each sender's order; a peer
// that never reads is dropped once the queue passes its limit.

#include "framecodec.h"
#include "framedconnection.h"
#include "framereader.h"

#include <QtTest>

#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

using namespace velmora::wire;

namespace {

// A FramedConnection on the accepting side of a loopback pair, its io_context on a thread of
// its own, and the raw peer socket the test reads with.
struct Pair
{
    Pair()
    {
        asio::ip::tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
        peer.connect(acceptor.local_endpoint());
        asio::ip::tcp::socket accepted(io);
        acceptor.accept(accepted);
        connection = std::make_shared<FramedConnection>(std::move(accepted), Direction::ToFront);
        connection->start([](Frame &) {},
                          [this](FramedConnection::CloseReason reason, DecodeError) {
                              {
                                  std::lock_guard<std::mutex> lock(mutex);
                                  closed = reason;
                              }
                              changed.notify_all();
                          });
        // A lost frame must fail the test, not hang it.
        timeval timeout{20, 0};
        setsockopt(peer.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
        thread = std::thread([this] { io.run(); });
    }
    ~Pair()
    {
        connection->close();
        work.reset();
        thread.join();
    }

    std::optional<FramedConnection::CloseReason> waitClosed()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(20), [this] { return closed.has_value(); });
        return closed;
    }

    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> work{io.get_executor()};
    asio::ip::tcp::socket peer{io};
    std::shared_ptr<FramedConnection> connection;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable changed;
    std::optional<FramedConnection::CloseReason> closed;
};

std::vector<unsigned char> numbered(MsgType type, int number)
{
    CThostFtdcTradeField trade{};
    std::snprintf(trade.TradeID, sizeof(trade.TradeID), "%d", number);
    CThostFtdcOrderField order{};
    std::snprintf(order.OrderSysID, sizeof(order.OrderSysID), "%d", number);
    return type == MsgType::RtnTrade ? FrameCodec::encode(type, number, true, nullptr, &trade)
                                     : FrameCodec::encode(type, number, true, nullptr, &order);
}

} // namespace

class TestFramedConnection : public QObject
{
    Q_OBJECT

private slots:
    void bothSendersArriveWholeAndInOrder()
    {
        constexpr int kEach = 10000; // megabytes each: far beyond what the socket holds unread
        Pair pair;
        std::promise<void> executorDone;
        std::function<void(int)> sendFrom = [&](int next) {
            // Chunks, so the I/O thread's frames interleave with the caller's.
            for (int i = next; i < std::min(kEach, next + 50); ++i) {
                pair.connection->send(numbered(MsgType::RtnOrder, i + 1));
            }
            if (next + 50 < kEach) {
                asio::post(pair.io, [&, next] { sendFrom(next + 50); });
            } else {
                executorDone.set_value();
            }
        };
        asio::post(pair.io, [&] { sendFrom(0); });
        for (int i = 0; i < kEach; ++i) {
            pair.connection->send(numbered(MsgType::RtnTrade, i + 1));
        }
        // Nothing was read so far, so the connection had to queue and finish writing later.
        QVERIFY(executorDone.get_future().wait_for(std::chrono::seconds(20)) ==
                std::future_status::ready);

        FrameReader reader(Direction::ToClient);
        int lastOrder = 0;
        int lastTrade = 0;
        std::vector<unsigned char> buffer(65536);
        while (lastOrder < kEach || lastTrade < kEach) {
            asio::error_code ec;
            const std::size_t n = pair.peer.read_some(asio::buffer(buffer), ec);
            QVERIFY2(!ec, ec.message().c_str());
            reader.append(buffer.data(), n);
            Frame frame;
            DecodeError error = DecodeError::None;
            FrameReader::Status status;
            while ((status = reader.next(frame, error)) == FrameReader::Status::Ready) {
                int &last = frame.type == MsgType::RtnTrade ? lastTrade : lastOrder;
                QCOMPARE(frame.requestId, last + 1);
                last = frame.requestId;
            }
            QVERIFY(status == FrameReader::Status::NeedMore);
        }
        QVERIFY(pair.connection->isOpen());
    }

    void peerThatNeverReadsIsDropped()
    {
        Pair pair;
        const std::size_t frameSize = numbered(MsgType::RtnTrade, 1).size();
        const std::size_t frames = FramedConnection::kMaxQueuedBytes / frameSize + 100000;
        for (std::size_t i = 0; i < frames && pair.connection->isOpen(); ++i) {
            pair.connection->send(numbered(MsgType::RtnTrade, int(i)));
        }
        const auto reason = pair.waitClosed();
        QVERIFY(reason.has_value());
        QCOMPARE(int(*reason), int(FramedConnection::CloseReason::WriteFailure));
        QVERIFY(!pair.connection->isOpen());
        // Sending to a dropped connection is harmless.
        pair.connection->send(numbered(MsgType::RtnTrade, 1));
    }
};

QTEST_APPLESS_MAIN(TestFramedConnection)
#include "tst_framedconnection.moc"
