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
// stop() may be called from any thread, including from inside a callback. Once it is called no
// further callback starts. From another thread it waits for a running callback as long as that
// takes, so that the caller may then destroy what the callback uses: a callback that never
// returns (blocked on a lock the caller holds) is a deadlock of the client, and every two seconds
// of waiting say so on stderr rather than leaving the callback to wake in freed memory. From
// inside a callback it cannot wait for itself: it returns at once, and the thread ends when that
// callback returns.
class CallbackQueue
{
public:
    CallbackQueue() = default;
    CallbackQueue(const CallbackQueue &) = delete;
    CallbackQueue &operator=(const CallbackQueue &) = delete;
    ~CallbackQueue();

    // keepAlive is held by the thread until it ends, so that the owner outlives a callback that
    // is still running after a stop() from inside a callback.
    void start(std::shared_ptr<void> keepAlive);
    // name: the Spi method the callback calls, for the stderr report of a stop() that waits; a
    // text that lives as long as the program.
    void post(const char *name, std::function<void()> callback);
    // afterLast runs once no callback runs or can start: before stop() returns, or, when stop()
    // is called from inside a callback, on the queue's thread right after that callback returns.
    // Only the first call's afterLast runs.
    void stop(std::function<void()> afterLast = {});
    bool onQueueThread() const;

private:
    struct Entry
    {
        const char *name;
        std::function<void()> callback;
    };

    void run(std::shared_ptr<void> keepAlive);
    void waitWhileRunning(std::unique_lock<std::mutex> &lock);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Entry> queue_;
    bool stopped_ = false;
    const char *running_ = nullptr;
    std::function<void()> afterLast_;
    std::thread thread_;
    std::thread::id threadId_;
};

} // namespace velmora::ctpapi
