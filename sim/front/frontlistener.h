#pragma once

#include "framedconnection.h"

#include <asio.hpp>

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
    void shutdown();
    virtual std::size_t connectionCount() const = 0;

protected:
    virtual void accepted(asio::ip::tcp::socket socket) = 0;
    virtual void closeAll() = 0;
    // One line on stderr about a connection event.
    void log(const std::string &line) const;
    // Closes a connection once the current handler has returned: a connection must not be
    // closed from inside its own frame handler, which close() would destroy while it runs.
    void closeLater(const std::shared_ptr<velmora::wire::FramedConnection> &link);
    // Removes a closed connection's session once the current handler has returned. A
    // connection can fail inside a send (a peer that reads too slowly), which runs its close
    // handler while a frame handler or a loop over the sessions is still using them.
    template <class Sessions> void forgetLater(Sessions &sessions, int id)
    {
        asio::post(io, [&sessions, id] { sessions.erase(id); });
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
    bool stopped = false;
};

} // namespace simfront
