#pragma once

#include "framedconnection.h"

#include <asio.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A scripted front inside the test process, for what the real front cannot be made to do on cue:
// keep a query unanswered, stay silent on heartbeats, send garbage, stream notices without end.
class FakeFront
{
public:
    using Reply = std::function<void(FakeFront &front, const velmora::wire::Frame &request)>;

    // What the front does with a connection it accepts: welcome it, as a front in service does;
    // drop it before a word, as a real front outside its service hours does; or say nothing.
    enum class OnAccept
    {
        Welcome,
        Drop,
        Ignore,
    };

    FakeFront();
    ~FakeFront();

    std::string address() const;

    // Runs on the front's thread for every frame received; the default answers heartbeats,
    // logins (trading day 20250101) and queries (empty answer).
    void setReply(Reply reply);
    static void defaultReply(FakeFront &front, const velmora::wire::Frame &request);
    void setOnAccept(OnAccept onAccept);

    void send(std::vector<unsigned char> bytes); // to every open connection
    void dropAll();
    void stopAccepting();

    std::vector<velmora::wire::Frame> received() const;
    int connections() const;
    // Accepted connections; the API may report its connection before the front has accepted it.
    bool waitForConnections(int count, int timeoutMs = 10000) const;
    bool waitForReceived(velmora::wire::MsgType type, int count, int timeoutMs = 10000) const;

private:
    void accept();

    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    asio::ip::tcp::acceptor acceptor_;
    std::thread thread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Reply reply_;
    OnAccept onAccept_ = OnAccept::Welcome;
    std::vector<std::shared_ptr<velmora::wire::FramedConnection>> open_;
    std::vector<velmora::wire::Frame> received_;
    int accepted_ = 0;
};
