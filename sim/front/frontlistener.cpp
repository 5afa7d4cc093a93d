#include "frontlistener.h"

#include "framecodec.h"

#include <cstdio>

namespace simfront {

using velmora::wire::DecodeError;
using velmora::wire::FramedConnection;

FrontListener::FrontListener(asio::io_context &io, const char *name)
    : io(io), name(name), acceptor(io), reopenTimer(io)
{
}

bool FrontListener::listen(const std::string &h, unsigned short port, std::string &error)
{
    asio::error_code ec;
    const asio::ip::address address =
        asio::ip::make_address(h == "localhost" ? "127.0.0.1" : h, ec);
    if (ec) {
        error = name + ": bad host '" + h + "'";
        return false;
    }
    host = h;
    bound = asio::ip::tcp::endpoint(address, port);
    if (!open(error)) {
        return false;
    }
    // Port 0 took a free port; reopening after a refusal must take the same one.
    bound = acceptor.local_endpoint(ec);
    acceptNext();
    return true;
}

bool FrontListener::open(std::string &error)
{
    asio::error_code ec;
    acceptor.open(bound.protocol(), ec);
    if (!ec) {
        acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true), ec);
    }
    if (!ec) {
        acceptor.bind(bound, ec);
    }
    if (!ec) {
        acceptor.listen(asio::socket_base::max_listen_connections, ec);
    }
    if (ec) {
        error = name + ": cannot listen on " + host + ":" + std::to_string(bound.port()) + ": " +
                ec.message();
        asio::error_code ignored;
        acceptor.close(ignored);
        return false;
    }
    return true;
}

std::string FrontListener::address() const
{
    return "tcp://" + host + ":" + std::to_string(bound.port());
}

void FrontListener::acceptNext()
{
    acceptor.async_accept([this](const asio::error_code &ec, asio::ip::tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor.is_open()) {
            return;
        }
        if (!ec && isServing && !isServing()) {
            asio::error_code ignored;
            socket.close(ignored);
        } else if (!ec) {
            accepted(std::move(socket));
        } else {
            log(std::string("accept failed: ") + ec.message());
        }
        acceptNext();
    });
}

void FrontListener::dropAll(int refuseSeconds)
{
    closeAll();
    if (refuseSeconds > 0 && !stopped) {
        asio::error_code ec;
        acceptor.close(ec);
        log("refusing connections for " + std::to_string(refuseSeconds) + " s");
        reopenLater(refuseSeconds);
    }
}

void FrontListener::reopenLater(int seconds)
{
    reopenTimer.expires_after(std::chrono::seconds(seconds));
    reopenTimer.async_wait([this](const asio::error_code &ec) {
        if (ec || stopped) {
            return;
        }
        std::string error;
        if (open(error)) {
            log("accepting connections again");
            acceptNext();
        } else {
            log(error + "; trying again in 1 s");
            reopenLater(1);
        }
    });
}

void FrontListener::shutdown()
{
    stopped = true;
    asio::error_code ec;
    reopenTimer.cancel();
    acceptor.close(ec);
    closeAll();
}

void FrontListener::log(const std::string &line) const
{
    std::fprintf(stderr, "simfront: %s: %s\n", name.c_str(), line.c_str());
}

std::string FrontListener::describe(FramedConnection::CloseReason reason, DecodeError error)
{
    switch (reason) {
    case FramedConnection::CloseReason::ReadFailure:
        return "peer closed the connection";
    case FramedConnection::CloseReason::WriteFailure:
        return "write failed or the peer reads too slowly";
    case FramedConnection::CloseReason::BadFrame:
        return std::string("dropped for a bad frame: ") +
               velmora::wire::FrameCodec::errorText(error);
    }
    return "closed";
}

} // namespace simfront
