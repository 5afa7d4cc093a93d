#include "apicore.h"

#include "frontaddress.h"

#include <array>
#include <cstdlib>
#include <cstring>

namespace velmora::ctpapi {

namespace {

int environmentInt(const char *name, int fallback, int minimum)
{
    const char *text = std::getenv(name);
    if (!text || !*text) {
        return fallback;
    }
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < minimum || value > 3600 * 1000) {
        return fallback;
    }
    return static_cast<int>(value);
}

// The Spi method a frame of the type reaches: "On" and the type's name, for every type.
const char *callbackName(wire::MsgType type)
{
    static const std::array<std::string, 256> names = [] {
        std::array<std::string, 256> table;
        for (std::size_t t = 0; t < table.size(); ++t) {
            if (const wire::MessageRule *rule =
                    wire::RecordLayout::rule(static_cast<std::uint16_t>(t))) {
                table[t] = std::string("On") + rule->name;
            }
        }
        return table;
    }();
    const auto t = static_cast<std::size_t>(type);
    return t < names.size() && !names[t].empty() ? names[t].c_str() : "a callback";
}

} // namespace

ApiCore::Settings ApiCore::settingsFromEnvironment()
{
    Settings settings;
    settings.heartbeatMs = environmentInt("VELMORA_CTPAPI_HEARTBEAT_MS", settings.heartbeatMs, 20);
    settings.queriesPerSecond =
        environmentInt("VELMORA_CTPAPI_QUERIES_PER_SECOND", settings.queriesPerSecond, 1);
    return settings;
}

ApiCore::ApiCore(std::unique_ptr<SpiAdapter> adapter, Settings settings)
    : adapter_(std::move(adapter)), settings_(settings), work_(asio::make_work_guard(io_)),
      resolver_(io_), reconnectTimer_(io_), connectDeadline_(io_), heartbeatTimer_(io_),
      random_(std::random_device{}())
{
}

ApiCore::~ApiCore()
{
    release();
}

void ApiCore::registerFront(const std::string &address)
{
    std::lock_guard<std::mutex> lock(mutex_);
    fronts_.push_back(address);
}

void ApiCore::setGreeting(std::function<std::vector<unsigned char>()> greeting)
{
    std::lock_guard<std::mutex> lock(mutex_);
    greeting_ = std::move(greeting);
}

void ApiCore::init(const std::function<void()> &prepare)
{
    // All under the lock, so that a release() on another thread finds either nothing started or
    // both threads started.
    std::lock_guard<std::mutex> lock(mutex_);
    if (started_ || released_) {
        return;
    }
    started_ = true;
    if (prepare) {
        prepare();
    }
    callbacks_.start(shared_from_this());
    asio::post(io_, [this] { connectNext(); });
    ioThread_ = std::thread([this] { io_.run(); });
}

void ApiCore::release(std::function<void()> whenDone)
{
    std::shared_ptr<wire::FramedConnection> connection;
    std::thread ioThread;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (released_) {
            return;
        }
        released_ = true;
        connection = std::move(connection_);
        ioThread = std::move(ioThread_);
    }
    releasedChanged_.notify_all();
    // Spi first: a callback already taken off the queue then finds no Spi to call.
    adapter_->clearSpi();

    asio::post(io_, [this, connection] {
        if (connection) {
            connection->close();
        }
        if (connecting_) {
            asio::error_code ec;
            connecting_->close(ec);
        }
        resolver_.cancel();
        reconnectTimer_.cancel();
        connectDeadline_.cancel();
        heartbeatTimer_.cancel();
        io_.stop();
    });
    work_.reset();
    if (ioThread.joinable()) {
        if (ioThread.get_id() == std::this_thread::get_id()) {
            ioThread.detach();
        } else {
            ioThread.join();
        }
    }
    callbacks_.stop(std::move(whenDone));
}

void ApiCore::waitReleased()
{
    std::unique_lock<std::mutex> lock(mutex_);
    releasedChanged_.wait(lock, [this] { return released_; });
}

const char *ApiCore::tradingDay() const
{
    thread_local char buffer[sizeof(TThostFtdcDateType)];
    std::lock_guard<std::mutex> lock(mutex_);
    std::strncpy(buffer, tradingDay_.c_str(), sizeof(buffer) - 1);
    buffer[sizeof(buffer) - 1] = '\0';
    return buffer;
}

int ApiCore::send(std::vector<unsigned char> frame)
{
    std::shared_ptr<wire::FramedConnection> connection;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!connection_ || released_) {
            return kNotConnected;
        }
        connection = connection_;
    }
    connection->send(std::move(frame));
    return kSent;
}

int ApiCore::sendAll(std::vector<std::vector<unsigned char>> frames)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!connection_ || released_) {
        return kNotConnected;
    }
    for (auto &frame : frames) {
        connection_->send(std::move(frame));
    }
    return kSent;
}

int ApiCore::sendQuery(std::vector<unsigned char> frame, wire::MsgType answer, int requestId)
{
    std::shared_ptr<wire::FramedConnection> connection;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!connection_ || released_) {
            return kNotConnected;
        }
        if (queryOutstanding_) {
            return kQueryUnanswered;
        }
        const Clock::time_point now = Clock::now();
        while (!querySendTimes_.empty() &&
               now - querySendTimes_.front() >= std::chrono::seconds(1)) {
            querySendTimes_.pop_front();
        }
        if (querySendTimes_.size() >= static_cast<std::size_t>(settings_.queriesPerSecond)) {
            return kOverQueryLimit;
        }
        querySendTimes_.push_back(now);
        queryOutstanding_ = true;
        outstandingAnswer_ = answer;
        outstandingRequestId_ = requestId;
        connection = connection_;
    }
    connection->send(std::move(frame));
    return kSent;
}

void ApiCore::connectNext()
{
    std::string address;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (released_) {
            return;
        }
        if (!fronts_.empty()) {
            address = fronts_[nextFront_ % fronts_.size()];
            ++nextFront_;
        }
    }
    std::string host;
    unsigned short port = 0;
    if (!wire::FrontAddress::parse(address, host, port) || port == 0) {
        scheduleReconnect();
        return;
    }

    auto socket = std::make_shared<asio::ip::tcp::socket>(io_);
    connecting_ = socket;
    connectDeadline_.expires_after(std::chrono::milliseconds(settings_.connectTimeoutMs));
    connectDeadline_.async_wait([this, socket](const asio::error_code &error) {
        if (!error) {
            resolver_.cancel();
            asio::error_code ec;
            socket->close(ec);
        }
    });
    resolver_.async_resolve(host, std::to_string(port),
                            [this, socket](const asio::error_code &error,
                                           const asio::ip::tcp::resolver::results_type &endpoints) {
                                if (error) {
                                    connectDeadline_.cancel();
                                    connecting_.reset();
                                    scheduleReconnect();
                                    return;
                                }
                                asio::async_connect(
                                    *socket, endpoints,
                                    [this, socket](const asio::error_code &connectError,
                                                   const asio::ip::tcp::endpoint &) {
                                        connectDeadline_.cancel();
                                        connecting_.reset();
                                        if (connectError) {
                                            scheduleReconnect();
                                            return;
                                        }
                                        connected(std::move(*socket));
                                    });
                            });
}

void ApiCore::scheduleReconnect()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (released_) {
            return;
        }
    }
    std::uniform_int_distribution<int> delay(settings_.reconnectMinMs, settings_.reconnectMaxMs);
    reconnectTimer_.expires_after(std::chrono::milliseconds(delay(random_)));
    reconnectTimer_.async_wait([this](const asio::error_code &error) {
        if (!error) {
            connectNext();
        }
    });
}

void ApiCore::connected(asio::ip::tcp::socket socket)
{
    auto connection =
        std::make_shared<wire::FramedConnection>(std::move(socket), wire::Direction::ToClient);
    const std::uint64_t serial = ++connectionSerial_;
    std::function<std::vector<unsigned char>()> makeGreeting;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (released_) {
            connection->close();
            return;
        }
        connection_ = connection;
        queryOutstanding_ = false;
        makeGreeting = greeting_;
    }
    std::vector<unsigned char> greeting;
    if (makeGreeting) {
        greeting = makeGreeting();
    }
    connection->start(
        [this, serial](wire::Frame &frame) {
            if (serial == connectionSerial_) {
                received(frame);
            }
        },
        [this, serial](wire::FramedConnection::CloseReason reason, wire::DecodeError) {
            if (serial != connectionSerial_) {
                return;
            }
            switch (reason) {
            case wire::FramedConnection::CloseReason::ReadFailure:
                dropped(kReasonReadFailure);
                break;
            case wire::FramedConnection::CloseReason::WriteFailure:
                dropped(kReasonWriteFailure);
                break;
            case wire::FramedConnection::CloseReason::BadFrame:
                dropped(kReasonBadMessage);
                break;
            }
        });
    if (!greeting.empty()) {
        connection->send(std::move(greeting));
    }
    lastReceived_ = Clock::now();
    postCallback("OnFrontConnected", [](SpiAdapter &adapter) { adapter.frontConnected(); });

    heartbeatTimer_.expires_after(std::chrono::milliseconds(settings_.heartbeatMs));
    heartbeatTimer_.async_wait([this, serial](const asio::error_code &error) {
        if (!error && serial == connectionSerial_) {
            heartbeatTick();
        }
    });
}

void ApiCore::received(wire::Frame &frame)
{
    lastReceived_ = Clock::now();
    if (frame.type == wire::MsgType::Heartbeat) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (queryOutstanding_ && frame.isLast && frame.requestId == outstandingRequestId_ &&
            (frame.type == outstandingAnswer_ || frame.type == wire::MsgType::RspError)) {
            queryOutstanding_ = false;
        }
        CThostFtdcRspUserLoginField login;
        if (frame.type == wire::MsgType::RspUserLogin && frame.recordAs(login) &&
            (!frame.hasRspInfo || frame.rspInfo.ErrorID == 0)) {
            tradingDay_ = login.TradingDay;
        }
    }
    const char *name = callbackName(frame.type);
    postCallback(name,
                 [frame = std::move(frame)](SpiAdapter &adapter) mutable { adapter.frame(frame); });
}

void ApiCore::dropped(int reason)
{
    std::shared_ptr<wire::FramedConnection> connection;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        connection = std::move(connection_);
        queryOutstanding_ = false;
        if (released_) {
            return;
        }
    }
    ++connectionSerial_;
    if (connection) {
        connection->close();
    }
    heartbeatTimer_.cancel();
    postCallback("OnFrontDisconnected",
                 [reason](SpiAdapter &adapter) { adapter.frontDisconnected(reason); });
    scheduleReconnect();
}

void ApiCore::heartbeatTick()
{
    const auto interval = std::chrono::milliseconds(settings_.heartbeatMs);
    const auto silence = Clock::now() - lastReceived_;
    if (silence >= 4 * interval) {
        dropped(kReasonHeartbeatTimeout);
        return;
    }
    if (silence >= 2 * interval) {
        const int seconds =
            static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(silence).count());
        postCallback("OnHeartBeatWarning",
                     [seconds](SpiAdapter &adapter) { adapter.heartBeatWarning(seconds); });
    }
    if (send(wire::FrameCodec::encode(wire::MsgType::Heartbeat, 0, true, nullptr, nullptr, 0)) !=
        kSent) {
        return;
    }
    const std::uint64_t serial = connectionSerial_;
    heartbeatTimer_.expires_after(interval);
    heartbeatTimer_.async_wait([this, serial](const asio::error_code &error) {
        if (!error && serial == connectionSerial_) {
            heartbeatTick();
        }
    });
}

void ApiCore::postCallback(const char *name, std::function<void(SpiAdapter &)> callback)
{
    callbacks_.post(name, [self = shared_from_this(), callback = std::move(callback)] {
        callback(*self->adapter_);
    });
}

} // namespace velmora::ctpapi
