#include "framedconnection.h"

#include <sys/socket.h>
#include <sys/uio.h>

#include <cerrno>

namespace velmora::wire {

FramedConnection::FramedConnection(asio::ip::tcp::socket socket, Direction incoming)
    : socket_(std::move(socket)), fd_(socket_.native_handle()), reader_(incoming)
{
    asio::error_code ec;
    const auto endpoint = socket_.remote_endpoint(ec);
    if (!ec) {
        peer_ = endpoint.address().to_string() + ":" + std::to_string(endpoint.port());
    }
    // Before any write: a frame sent before start() must not wait for an acknowledgement.
    socket_.set_option(asio::ip::tcp::no_delay(true), ec);
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
        self->readMore();
    });
}

void FramedConnection::send(std::vector<unsigned char> frame)
{
    if (frame.empty()) {
        return;
    }
    std::lock_guard<std::mutex> lock(writeMutex_);
    if (writeClosed_) {
        return;
    }
    queuedBytes_ += frame.size();
    queue_.push_back(std::move(frame));
    if (queuedBytes_ > kMaxQueuedBytes) {
        writeClosed_ = true;
        failLater();
        return;
    }
    if (writing_) {
        return;
    }
    if (gatherOnExecutor_ && onExecutor()) {
        writing_ = true;
        asio::post(socket_.get_executor(), [self = shared_from_this()] {
            std::lock_guard<std::mutex> lock(self->writeMutex_);
            self->writing_ = false;
            if (!self->writeClosed_) {
                self->writeNow();
            }
        });
        return;
    }
    writeNow();
}

void FramedConnection::close()
{
    open_ = false;
    {
        // The queue stays until the executor has closed the socket: Asio may be writing from it.
        std::lock_guard<std::mutex> lock(writeMutex_);
        writeClosed_ = true;
    }
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

bool FramedConnection::onExecutor()
{
    const auto &executor = socket_.get_executor();
    if (const auto *io = executor.target<asio::io_context::executor_type>()) {
        return io->running_in_this_thread();
    }
    if (const auto *strand = executor.target<asio::strand<asio::io_context::executor_type>>()) {
        return strand->running_in_this_thread();
    }
    return false;
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

void FramedConnection::writeNow()
{
    constexpr std::size_t kMaxPieces = 64;
    while (!queue_.empty()) {
        std::array<iovec, kMaxPieces> pieces{};
        std::size_t count = 0;
        std::size_t offered = 0;
        for (auto it = queue_.begin(); it != queue_.end() && count < kMaxPieces; ++it) {
            const std::size_t skip = count == 0 ? written_ : 0;
            pieces[count].iov_base = it->data() + skip;
            pieces[count].iov_len = it->size() - skip;
            offered += pieces[count].iov_len;
            ++count;
        }
        msghdr message{};
        message.msg_iov = pieces.data();
        message.msg_iovlen = count;
        const ssize_t sent = ::sendmsg(fd_, &message, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            writeClosed_ = true;
            failLater();
            return;
        }
        if (sent > 0) {
            consume(static_cast<std::size_t>(sent));
        }
        if (sent < 0 || static_cast<std::size_t>(sent) < offered) {
            break;
        }
    }
    if (!queue_.empty()) {
        writing_ = true;
        asio::post(socket_.get_executor(), [self = shared_from_this()] { self->writeQueued(); });
    }
}

void FramedConnection::consume(std::size_t bytes)
{
    queuedBytes_ -= bytes;
    while (bytes > 0) {
        const std::size_t left = queue_.front().size() - written_;
        if (bytes < left) {
            written_ += bytes;
            return;
        }
        bytes -= left;
        queue_.pop_front();
        written_ = 0;
    }
}

void FramedConnection::failLater()
{
    asio::post(socket_.get_executor(), [self = shared_from_this()] {
        self->fail(CloseReason::WriteFailure, DecodeError::None);
    });
}

void FramedConnection::writeQueued()
{
    std::vector<asio::const_buffer> buffers;
    {
        std::lock_guard<std::mutex> lock(writeMutex_);
        if (closed_ || writeClosed_) {
            return;
        }
        buffers.reserve(queue_.size());
        for (const auto &frame : queue_) {
            const std::size_t skip = buffers.empty() ? written_ : 0;
            buffers.push_back(asio::buffer(frame.data() + skip, frame.size() - skip));
        }
    }
    // Frames queued meanwhile go behind these; the deque keeps these in place while they do.
    asio::async_write(socket_, buffers,
                      [self = shared_from_this()](const asio::error_code &error, std::size_t size) {
                          if (self->closed_) {
                              return;
                          }
                          if (error) {
                              self->fail(CloseReason::WriteFailure, DecodeError::None);
                              return;
                          }
                          std::lock_guard<std::mutex> lock(self->writeMutex_);
                          self->consume(size);
                          self->writing_ = false;
                          if (!self->writeClosed_) {
                              self->writeNow();
                          }
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
    // Under the write lock: no other thread writes to the descriptor once it is closed, and the
    // queue goes only when Asio can no longer write from it.
    std::lock_guard<std::mutex> lock(writeMutex_);
    writeClosed_ = true;
    asio::error_code ec;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
    socket_.close(ec);
    queue_.clear();
    written_ = 0;
    queuedBytes_ = 0;
}

} // namespace velmora::wire
