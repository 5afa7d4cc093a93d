#include "fakefront.h"

#include <cstring>

using velmora::wire::Direction;
using velmora::wire::Frame;
using velmora::wire::FrameCodec;
using velmora::wire::FramedConnection;
using velmora::wire::MsgType;

FakeFront::FakeFront()
    : work_(asio::make_work_guard(io_)), acceptor_(io_), reply_(&FakeFront::defaultReply)
{
    const asio::ip::tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), 0);
    acceptor_.open(endpoint.protocol());
    acceptor_.bind(endpoint);
    acceptor_.listen();
    accept();
    thread_ = std::thread([this] { io_.run(); });
}

FakeFront::~FakeFront()
{
    dropAll();
    asio::post(io_, [this] {
        asio::error_code ec;
        acceptor_.close(ec);
        io_.stop();
    });
    thread_.join();
}

std::string FakeFront::address() const
{
    return "tcp://127.0.0.1:" + std::to_string(acceptor_.local_endpoint().port());
}

void FakeFront::setReply(Reply reply)
{
    std::lock_guard<std::mutex> lock(mutex_);
    reply_ = std::move(reply);
}

void FakeFront::setOnAccept(OnAccept onAccept)
{
    std::lock_guard<std::mutex> lock(mutex_);
    onAccept_ = onAccept;
}

void FakeFront::defaultReply(FakeFront &front, const Frame &request)
{
    CThostFtdcRspInfoField ok{};
    switch (request.type) {
    case MsgType::Heartbeat:
        front.send(FrameCodec::encode(MsgType::Heartbeat, 0, true, nullptr, nullptr, 0));
        break;
    case MsgType::ReqUserLogin: {
        CThostFtdcRspUserLoginField login{};
        std::strcpy(login.TradingDay, "20250101");
        login.FrontID = 1;
        login.SessionID = 7;
        std::strcpy(login.MaxOrderRef, "          12");
        front.send(FrameCodec::encode(MsgType::RspUserLogin, request.requestId, true, &ok, &login));
        break;
    }
    case MsgType::ReqQryInstrument:
        front.send(FrameCodec::encode(MsgType::RspQryInstrument, request.requestId, true, &ok,
                                      nullptr, 0));
        break;
    case MsgType::ReqQryInvestorPosition:
        front.send(FrameCodec::encode(MsgType::RspQryInvestorPosition, request.requestId, true, &ok,
                                      nullptr, 0));
        break;
    case MsgType::ReqQryTradingAccount:
        front.send(FrameCodec::encode(MsgType::RspQryTradingAccount, request.requestId, true, &ok,
                                      nullptr, 0));
        break;
    default:
        break;
    }
}

void FakeFront::send(std::vector<unsigned char> bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto &connection : open_) {
        connection->send(bytes);
    }
}

void FakeFront::dropAll()
{
    std::vector<std::shared_ptr<FramedConnection>> connections;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        connections.swap(open_);
    }
    for (auto &connection : connections) {
        connection->close();
    }
}

void FakeFront::stopAccepting()
{
    asio::post(io_, [this] {
        asio::error_code ec;
        acceptor_.close(ec);
    });
}

std::vector<Frame> FakeFront::received() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

int FakeFront::connections() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return accepted_;
}

bool FakeFront::waitForConnections(int count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return accepted_ >= count; });
}

bool FakeFront::waitForReceived(MsgType type, int count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        int seen = 0;
        for (const Frame &frame : received_) {
            seen += frame.type == type ? 1 : 0;
        }
        return seen >= count;
    });
}

void FakeFront::accept()
{
    acceptor_.async_accept([this](const asio::error_code &error, asio::ip::tcp::socket socket) {
        if (error) {
            return;
        }
        auto connection = std::make_shared<FramedConnection>(std::move(socket), Direction::ToFront);
        OnAccept onAccept;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            onAccept = onAccept_;
            if (onAccept != OnAccept::Drop) {
                open_.push_back(connection);
            }
            ++accepted_;
        }
        changed_.notify_all();
        if (onAccept == OnAccept::Drop) {
            connection->close();
            accept();
            return;
        }
        if (onAccept == OnAccept::Welcome) {
            connection->send(FrameCodec::encode(MsgType::Welcome, 0, true, nullptr, nullptr, 0));
        }
        connection->start(
            [this](Frame &frame) {
                Reply reply;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    received_.push_back(frame);
                    reply = reply_;
                }
                changed_.notify_all();
                if (reply) {
                    reply(*this, frame);
                }
            },
            [](FramedConnection::CloseReason, velmora::wire::DecodeError) {});
        accept();
    });
}
