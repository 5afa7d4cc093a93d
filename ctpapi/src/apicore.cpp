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

void ApiCore::init()
{
    // Under the lock, so that a release() on another thread finds either nothing started or the
    // I/O thread started.
    std::lock_guard<std::mutex> lock(mutex_);
    if (started_ || released_) {
        return;
    }
    started_ = true;
    asio::post(io_, [this] { connectNext(); });
    // The thread keeps the core alive: after a release() from inside a callback it still runs the
    // rest of that callback's handler once the client has deleted its API object.
    ioThread_ = std::thread([self = shared_from_this()] { self->io_.run(); });
}

void ApiCore::release(std::function<void()> whenDone)
{
    auto ioThread = std::make_shared<std::thread>();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (released_) {
            return;
        }
        released_ = true;
        connection_.reset();
        *ioThread = std::move(ioThread_);
    }
    releasedChanged_.notify_all();
    // A callback that has passed the gate but not reached the Spi yet then skips it.
    adapter_->clearSpi();

    // Posted even from inside a callback: closing the connection there would free the frame
    // handler that is running it.
    asio::post(io_, [this] {
        if (current_) {
            current_->close();
            current_.reset();
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
    gate_.close([ioThread, whenDone = std::move(whenDone)] {
        if (ioThread->joinable()) {
            // From inside a callback this runs on the I/O thread itself, which ends on its own.
            if (ioThread->get_id() == std::this_thread::get_id()) {
                ioThread->detach();
            } else {
                ioThread->join();
            }
        }
        if (whenDone) {
            whenDone();
        }
    });
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
        makeGreeting = greeting_;
    }
    current_ = connection;
    welcomed_ = false;
    // A request made inside a callback leaves at once, not when the callbacks of the frames read
    // with it have run too.
    connection->setGatherOnExecutor(false);
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
    // The greeting goes at once, before the front's welcome: the front needs the topics before
    // the login it will answer with the private stream.
    if (makeGreeting) {
        std::vector<unsigned char> greeting = makeGreeting();
        if (!greeting.empty()) {
            connection->send(std::move(greeting));
        }
    }
    // The silence clock runs from the connect, so a front that accepts and never welcomes is
    // dropped after four intervals like one that falls silent.
    lastReceived_ = Clock::now();
    scheduleHeartbeat();
}

void ApiCore::welcomed()
{
    welcomed_ = true;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (released_) {
            return;
        }
        connection_ = current_;
        queryOutstanding_ = false;
    }
    runCallback("OnFrontConnected", [](SpiAdapter &adapter) { adapter.frontConnected(); });
}

void ApiCore::received(wire::Frame &frame)
{
    if (!welcomed_) {
        // The front speaks first, and its first word is the welcome; anything else means it is
        // not a front of ours or lost track of the session.
        if (frame.type == wire::MsgType::Welcome) {
            lastReceived_ = Clock::now();
            welcomed();
        } else {
            dropped(kReasonBadMessage);
        }
        return;
    }
    lastReceived_ = Clock::now();
    if (frame.type == wire::MsgType::Heartbeat || frame.type == wire::MsgType::Welcome) {
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
    runCallback(callbackName(frame.type), [&frame](SpiAdapter &adapter) { adapter.frame(frame); });
}

void ApiCore::dropped(int reason)
{
    std::shared_ptr<wire::FramedConnection> connection = std::move(current_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        connection_.reset();
        queryOutstanding_ = false;
        if (released_) {
            return;
        }
    }
    // From here on the frames still buffered or in flight on the old connection are ignored.
    ++connectionSerial_;
    welcomed_ = false;
    if (connection) {
        // Posted: this may run inside the connection's own frame handler.
        asio::post(io_, [connection] { connection->close(); });
    }
    heartbeatTimer_.cancel();
    runCallback("OnFrontDisconnected",
                [reason](SpiAdapter &adapter) { adapter.frontDisconnected(reason); });
    scheduleReconnect();
}

void ApiCore::scheduleHeartbeat()
{
    const std::uint64_t serial = connectionSerial_;
    heartbeatTimer_.expires_after(std::chrono::milliseconds(settings_.heartbeatMs));
    heartbeatTimer_.async_wait([this, serial](const asio::error_code &error) {
        if (!error && serial == connectionSerial_) {
            heartbeatTick();
        }
    });
}

void ApiCore::heartbeatTick()
{
    const auto interval = std::chrono::milliseconds(settings_.heartbeatMs);
    const auto silence = Clock::now() - lastReceived_;
    if (silence >= 4 * interval) {
        dropped(kReasonHeartbeatTimeout);
        return;
    }
    // Before the welcome there is no session to keep alive or warn about.
    if (!welcomed_) {
        scheduleHeartbeat();
        return;
    }
    const std::uint64_t serial = connectionSerial_;
    if (silence >= 2 * interval) {
        const int seconds =
            static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(silence).count());
        runCallback("OnHeartBeatWarning",
                    [seconds](SpiAdapter &adapter) { adapter.heartBeatWarning(seconds); });
        // The warning's callback may have blocked long enough to drop the connection.
        if (serial != connectionSerial_) {
            return;
        }
    }
    if (current_) {
        current_->send(
            wire::FrameCodec::encode(wire::MsgType::Heartbeat, 0, true, nullptr, nullptr, 0));
    }
    scheduleHeartbeat();
}

template <class Call> void ApiCore::runCallback(const char *name, Call &&call)
{
    if (!gate_.enter(name)) {
        return;
    }
    const std::uint64_t serial = connectionSerial_;
    const Clock::time_point began = Clock::now();
    call(*adapter_);
    const Clock::duration took = Clock::now() - began;
    gate_.leave();
    afterCallback(took, serial);
}

void ApiCore::afterCallback(Clock::duration took, std::uint64_t serial)
{
    // Nothing was read, sent or checked while the callback ran: that time is not the front's
    // silence.
    lastReceived_ += took;
    const auto interval = std::chrono::milliseconds(settings_.heartbeatMs);
    if (took < 2 * interval || !current_ || serial != connectionSerial_) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (released_) {
            return;
        }
    }
    // The front has seen no heartbeat for as long and may already count the session dead; what
    // it sent meanwhile goes with the connection, and the private stream comes back by resume.
    if (took >= 4 * interval) {
        dropped(kReasonHeartbeatTimeout);
        return;
    }
    const int seconds =
        static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(took).count());
    runCallback("OnHeartBeatWarning",
                [seconds](SpiAdapter &adapter) { adapter.heartBeatWarning(seconds); });
}

} // namespace velmora::ctpapi
