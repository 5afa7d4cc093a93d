#pragma once

#include "framecodec.h"
#include "framedconnection.h"

#include <asio.hpp>

#include <functional>
#include <memory>
#include <string>

namespace simfront {

// The listening side of one front: accepts connections, can stop accepting for a while (as a
// front that is down refuses connections) and reopens on the same port. The connections
// themselves belong to the derived front. Everything runs on the I/O thread.
class FrontListener
{
public:
    FrontListener(asio::io_context &io, const char *name);
    virtual ~FrontListener() = default;
    FrontListener(const FrontListener &) = delete;
    FrontListener &operator=(const FrontListener &) = delete;

    bool listen(const std::string &host, unsigned short port, std::string &error);
    // "tcp://host:port" with the port actually bound.
    std::string address() const;
    // Closes every connection; with refuseSeconds > 0 also refuses new ones that long.
    void dropAll(int refuseSeconds);
    bool refusing() const { return !acceptor.is_open() && !stopped; }
    // Outside the broker's service hours a front still accepts, as real ones do, but drops the
    // connection before its welcome, so the client library reports a disconnection and retries.
    void setServing(std::function<bool()> serving) { isServing = std::move(serving); }
    void shutdown();
    virtual std::size_t connectionCount() const = 0;

protected:
    virtual void accepted(asio::ip::tcp::socket socket) = 0;
    virtual void closeAll() = 0;
    // One line on stderr about a connection event.
    void log(const std::string &line) const;
    // Opens a session (a map value with `id` and `link`) for an accepted connection; frames go
    // to onFrame(id, frame). A session whose connection fails is logged and removed once the
    // current handler has returned: a connection can fail inside a send (a peer that reads too
    // slowly), which runs its close handler while a frame handler or a loop over the sessions
    // is still using them.
    template <class Sessions, class OnFrame>
    void openSession(Sessions &sessions, asio::ip::tcp::socket socket, OnFrame onFrame)
    {
        const int id = ++lastSessionKey;
        auto &s = sessions[id];
        s.id = id;
        s.link = std::make_shared<velmora::wire::FramedConnection>(
            std::move(socket), velmora::wire::Direction::ToFront);
        s.link->start([onFrame, id](velmora::wire::Frame &frame) { onFrame(id, frame); },
                      [this, &sessions, id](velmora::wire::FramedConnection::CloseReason reason,
                                            velmora::wire::DecodeError error) {
                          auto it = sessions.find(id);
                          if (it == sessions.end()) {
                              return;
                          }
                          if (reason != velmora::wire::FramedConnection::CloseReason::ReadFailure) {
                              log(it->second.link->peer() + " " + describe(reason, error));
                          }
                          asio::post(io, [&sessions, id] { sessions.erase(id); });
                      });
        s.link->send(velmora::wire::FrameCodec::encode<char>(velmora::wire::MsgType::Welcome, 0,
                                                             true, nullptr, nullptr));
    }

    template <class Sessions> void closeSessions(Sessions &sessions)
    {
        for (auto &entry : sessions) {
            entry.second.link->close();
        }
        if (!sessions.empty()) {
            log("dropped " + std::to_string(sessions.size()) + " connection(s)");
        }
        sessions.clear();
    }
    static std::string describe(velmora::wire::FramedConnection::CloseReason reason,
                                velmora::wire::DecodeError error);

    asio::io_context &io;
    const std::string name;

private:
    void acceptNext();
    bool open(std::string &error);
    void reopenLater(int seconds);

    asio::ip::tcp::acceptor acceptor;
    asio::ip::tcp::endpoint bound;
    std::string host;
    asio::steady_timer reopenTimer;
    std::function<bool()> isServing;
    bool stopped = false;
    int lastSessionKey = 0;
};

} // namespace simfront
