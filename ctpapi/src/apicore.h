#pragma once

#include "callbackgate.h"
#include "framedconnection.h"
#include "spiadapter.h"

#include <asio.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace velmora::ctpapi {

// Why a connection ended, as the vendor's library reports it to OnFrontDisconnected.
constexpr int kReasonReadFailure = 0x1001;
constexpr int kReasonWriteFailure = 0x1002;
constexpr int kReasonHeartbeatTimeout = 0x2001;
constexpr int kReasonHeartbeatSendFailure = 0x2002;
constexpr int kReasonBadMessage = 0x2003;

// Request results.
constexpr int kSent = 0;
constexpr int kNotConnected = -1;
constexpr int kQueryUnanswered = -2;
constexpr int kOverQueryLimit = -3;

// What a trader or market-data API object shares: the connection to one front (with automatic
// reconnection and heartbeats) on an I/O thread of its own, which also runs the Spi callbacks,
// and the query flow control.
class ApiCore : public std::enable_shared_from_this<ApiCore>
{
public:
    struct Settings
    {
        int heartbeatMs = 5000;
        int queriesPerSecond = 1;
        int connectTimeoutMs = 5000;
        // About once a second, as the vendor's library retries; the jitter keeps many clients of
        // one front from coming back in step.
        int reconnectMinMs = 900;
        int reconnectMaxMs = 1100;
    };

    // Defaults, overridden by VELMORA_CTPAPI_HEARTBEAT_MS and VELMORA_CTPAPI_QUERIES_PER_SECOND.
    static Settings settingsFromEnvironment();

    ApiCore(std::unique_ptr<SpiAdapter> adapter, Settings settings);
    ApiCore(const ApiCore &) = delete;
    ApiCore &operator=(const ApiCore &) = delete;
    ~ApiCore();

    void registerFront(const std::string &address);
    // Makes the frame sent first on every new connection (none when unset or empty); called on
    // the I/O thread at each connect, so that it carries the state of that moment.
    void setGreeting(std::function<std::vector<unsigned char>()> greeting);
    // Starts the I/O thread once. A release() on another thread waits for an init() in progress,
    // and an init() after release() does nothing.
    void init();
    // Ends the connection and the I/O thread; whenDone runs once no callback runs or can start
    // any more. From another thread release() waits for a running callback as long as it takes
    // and runs whenDone before it returns. From inside a callback it returns at once, and
    // whenDone runs on the I/O thread when that callback returns. Only the first call counts.
    void release(std::function<void()> whenDone = {});
    void waitReleased();
    // The trading day of the last successful login, "" before; the text stays valid on the
    // calling thread until its next call.
    const char *tradingDay() const;

    // kSent or kNotConnected: requests go only on a connection the front has welcomed.
    int send(std::vector<unsigned char> frame);
    int sendAll(std::vector<std::vector<unsigned char>> frames);
    // Also kQueryUnanswered while an earlier query waits for its last answer, and kOverQueryLimit
    // when the per-second limit is used up.
    int sendQuery(std::vector<unsigned char> frame, wire::MsgType answer, int requestId);

    // A request record as one frame; a null record is not sent (kNotConnected).
    template <class R> int sendRecord(wire::MsgType type, int requestId, const R *record)
    {
        if (!record) {
            return kNotConnected;
        }
        return send(wire::FrameCodec::encode(type, requestId, true, nullptr, record));
    }

    template <class R>
    int sendQueryRecord(wire::MsgType type, wire::MsgType answer, int requestId, const R *record)
    {
        if (!record) {
            return kNotConnected;
        }
        return sendQuery(wire::FrameCodec::encode(type, requestId, true, nullptr, record), answer,
                         requestId);
    }

private:
    using Clock = std::chrono::steady_clock;

    void connectNext();
    void scheduleReconnect();
    void connected(asio::ip::tcp::socket socket);
    void received(wire::Frame &frame);
    void welcomed();
    void dropped(int reason);
    void heartbeatTick();
    void scheduleHeartbeat();
    // Calls the Spi through the adapter, unless the gate is closed, and applies the heartbeat
    // rule for callbacks that block.
    template <class Call> void runCallback(const char *name, Call &&call);
    void afterCallback(Clock::duration took, std::uint64_t serial);

    std::unique_ptr<SpiAdapter> adapter_;
    const Settings settings_;

    // Declared before everything that holds its handlers or sockets, so it is destroyed last.
    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    asio::ip::tcp::resolver resolver_;
    asio::steady_timer reconnectTimer_;
    asio::steady_timer connectDeadline_;
    asio::steady_timer heartbeatTimer_;
    CallbackGate gate_;

    // I/O thread only.
    std::mt19937 random_;
    Clock::time_point lastReceived_;
    std::uint64_t connectionSerial_ = 0;
    std::shared_ptr<asio::ip::tcp::socket> connecting_;
    // The open connection, welcomed or not; connection_ below only once welcomed.
    std::shared_ptr<wire::FramedConnection> current_;
    bool welcomed_ = false;

    mutable std::mutex mutex_;
    std::condition_variable releasedChanged_;
    std::vector<std::string> fronts_;
    std::size_t nextFront_ = 0;
    std::function<std::vector<unsigned char>()> greeting_;
    std::thread ioThread_;
    std::shared_ptr<wire::FramedConnection> connection_; // welcomed by the front
    bool started_ = false;
    bool released_ = false;
    bool queryOutstanding_ = false;
    wire::MsgType outstandingAnswer_ = wire::MsgType::RspError;
    int outstandingRequestId_ = 0;
    std::deque<Clock::time_point> querySendTimes_;
    std::string tradingDay_;
};

} // namespace velmora::ctpapi
