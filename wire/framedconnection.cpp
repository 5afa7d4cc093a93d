#include "framedconnection.h"

namespace velmora::wire {

FramedConnection::FramedConnection(asio::ip::tcp::socket socket, Direction incoming)
    : socket_(std::move(socket)), reader_(incoming)
{
    asio::error_code ec;
    const auto endpoint = socket_.remote_endpoint(ec);
    if (!ec) {
        peer_ = endpoint.address().to_string() + ":" + std::to_string(endpoint.port());
    }
}

void FramedConnection::start(FrameHandler onFrame, CloseHandler onClose)
{
    asio::dispatch(socket_.get_executor(), [self = shared_from_this(), onFrame = std::move(onFrame),
                                            onClose = std::move(onClose)]() mutable {
        if (self->closed_) {
            return;
        }
        self->onFrame_ = std::move(onFrame);
        self->onClose_ = std::move(onClose);
        asio::error_code ec;
        self->socket_.set_option(asio::ip::tcp::no_delay(true), ec);
        self->readMore();
    });
}

void FramedConnection::send(std::vector<unsigned char> frame)
{
    if (frame.empty()) {
        return;
    }
    asio::dispatch(socket_.get_executor(),
                   [self = shared_from_this(), frame = std::move(frame)]() mutable {
                       if (self->closed_) {
                           return;
                       }
                       self->queuedBytes_ += frame.size();
                       self->queue_.push_back(std::move(frame));
                       if (self->queuedBytes_ > kMaxQueuedBytes) {
                           self->fail(CloseReason::WriteFailure, DecodeError::None);
                           return;
                       }
                       if (self->inFlight_.empty()) {
                           self->writeMore();
                       }
                   });
}

void FramedConnection::close()
{
    open_ = false;
    asio::dispatch(socket_.get_executor(), [self = shared_from_this()] {
        if (self->closed_) {
            return;
        }
        self->closed_ = true;
        self->onFrame_ = nullptr;
        self->onClose_ = nullptr;
        self->shutdownSocket();
    });
}

void FramedConnection::readMore()
{
    socket_.async_read_some(
        asio::buffer(readBuffer_),
        [self = shared_from_this()](const asio::error_code &error, std::size_t size) {
            self->handleRead(error, size);
        });
}

void FramedConnection::handleRead(const asio::error_code &error, std::size_t size)
{
    if (closed_) {
        return;
    }
    if (error) {
        fail(CloseReason::ReadFailure, DecodeError::None);
        return;
    }
    reader_.append(readBuffer_.data(), size);
    Frame frame;
    DecodeError decodeError = DecodeError::None;
    for (;;) {
        const FrameReader::Status status = reader_.next(frame, decodeError);
        if (status == FrameReader::Status::NeedMore) {
            break;
        }
        if (status == FrameReader::Status::Error) {
            fail(CloseReason::BadFrame, decodeError);
            return;
        }
        if (onFrame_) {
            onFrame_(frame);
        }
        if (closed_) {
            return;
        }
    }
    readMore();
}

void FramedConnection::writeMore()
{
    inFlight_.clear();
    while (!queue_.empty()) {
        inFlight_.push_back(std::move(queue_.front()));
        queue_.pop_front();
    }
    if (inFlight_.empty()) {
        return;
    }
    std::vector<asio::const_buffer> buffers;
    buffers.reserve(inFlight_.size());
    for (const auto &frame : inFlight_) {
        buffers.push_back(asio::buffer(frame));
    }
    asio::async_write(socket_, buffers,
                      [self = shared_from_this()](const asio::error_code &error, std::size_t) {
                          if (self->closed_) {
                              return;
                          }
                          if (error) {
                              self->fail(CloseReason::WriteFailure, DecodeError::None);
                              return;
                          }
                          for (const auto &frame : self->inFlight_) {
                              self->queuedBytes_ -= frame.size();
                          }
                          self->inFlight_.clear();
                          self->writeMore();
                      });
}

void FramedConnection::fail(CloseReason reason, DecodeError error)
{
    if (closed_) {
        return;
    }
    closed_ = true;
    open_ = false;
    shutdownSocket();
    CloseHandler handler = std::move(onClose_);
    onClose_ = nullptr;
    onFrame_ = nullptr;
    if (handler) {
        handler(reason, error);
    }
}

void FramedConnection::shutdownSocket()
{
    asio::error_code ec;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
    socket_.close(ec);
}

} // namespace velmora::wire
