#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace velmora::ctpapi {

// The one thread on which an API object calls its Spi: callbacks run one at a time, in the order
// posted, and the queue waits for each to return.
//
// stop() may be called from any thread, including from inside a callback. Once it returns no
// further callback starts. A callback that is running gets a short grace period to end (so that
// the caller may then destroy what the callback uses); one that is still running after it, maybe
// blocked on a lock the caller holds, is left to finish on its own thread, and stop() returns.
class CallbackQueue
{
public:
    CallbackQueue() = default;
    CallbackQueue(const CallbackQueue &) = delete;
    CallbackQueue &operator=(const CallbackQueue &) = delete;
    ~CallbackQueue();

    // keepAlive is held by the thread until it ends, so that the owner outlives a callback that
    // is still running after stop().
    static constexpr int kStopGraceMs = 500;

    void start(std::shared_ptr<void> keepAlive);
    void post(std::function<void()> callback);
    void stop();
    bool onQueueThread() const;

private:
    void run(std::shared_ptr<void> keepAlive);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> queue_;
    bool stopped_ = false;
    bool running_ = false;
    std::thread thread_;
    std::thread::id threadId_;
};

} // namespace velmora::ctpapi
