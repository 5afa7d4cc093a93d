#pragma once

#include "framereader.h"

#include <asio.hpp>

#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace velmora::wire {

// One TCP connection that carries frames both ways.
//
// Every handler runs on the socket's executor: run its io_context on one thread, or give the
// socket a strand when the io_context runs on several. start(), send() and close() may be called
// from any thread. The close handler runs at most once, only for a failure the connection found
// itself; after close() neither handler runs again, and both are released (so they may hold the
// owner's shared pointers).
//
// A frame sent from another thread is written at once by that thread when nothing is waiting,
// so a request costs no hand-over to the I/O thread; frames sent from the executor are gathered
// until its handler returns and leave in one write, unless setGatherOnExecutor(false) says the
// handlers may run long (a client's callbacks). Only what the socket does not take at once waits
// for the I/O thread.
class FramedConnection : public std::enable_shared_from_this<FramedConnection>
{
public:
    enum class CloseReason
    {
        ReadFailure,  // the peer closed, or reading failed
        WriteFailure, // writing failed, or the peer reads too slowly (send queue over its limit)
        BadFrame,     // the peer sent a malformed frame (see the DecodeError)
    };

    using FrameHandler = std::function<void(Frame &frame)>;
    using CloseHandler = std::function<void(CloseReason reason, DecodeError error)>;

    // Bytes waiting to be written beyond which the peer counts as gone.
    static constexpr std::size_t kMaxQueuedBytes = 32u << 20;

    FramedConnection(asio::ip::tcp::socket socket, Direction incoming);

    // Before start().
    void setGatherOnExecutor(bool gather) { gatherOnExecutor_ = gather; }
    void start(FrameHandler onFrame, CloseHandler onClose);
    void send(std::vector<unsigned char> frame);
    void close();

    bool isOpen() const { return open_.load(); }
    const std::string &peer() const { return peer_; }

private:
    void readMore();
    void handleRead(const asio::error_code &error, std::size_t size);
    bool onExecutor();
    // Writing; the caller holds writeMutex_.
    void writeNow();
    void consume(std::size_t bytes);
    void failLater();
    // Hands what the socket did not take to Asio, which waits until it can write; executor only.
    void writeQueued();
    void fail(CloseReason reason, DecodeError error);
    void shutdownSocket();

    asio::ip::tcp::socket socket_;
    const int fd_;
    FrameReader reader_;
    std::string peer_;
    std::array<unsigned char, 16384> readBuffer_{};
    bool closed_ = false; // executor only
    bool gatherOnExecutor_ = true;

    // Frames not written yet in order; the first may be written in part.
    std::mutex writeMutex_;
    std::deque<std::vector<unsigned char>> queue_;
    std::size_t written_ = 0;     // bytes of the first frame already written
    std::size_t queuedBytes_ = 0; // bytes of queue_ not written yet
    bool writing_ = false;        // a write is posted or in Asio's hands: senders only queue
    bool writeClosed_ = false;
    std::atomic<bool> open_{true};
    FrameHandler onFrame_;
    CloseHandler onClose_;
};

} // namespace velmora::wire
