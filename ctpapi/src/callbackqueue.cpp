#include "callbackqueue.h"

#include <chrono>

namespace velmora::ctpapi {

CallbackQueue::~CallbackQueue()
{
    stop();
}

void CallbackQueue::start(std::shared_ptr<void> keepAlive)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (thread_.joinable() || stopped_) {
        return;
    }
    thread_ = std::thread(
        [this, keepAlive = std::move(keepAlive)]() mutable { run(std::move(keepAlive)); });
    threadId_ = thread_.get_id();
}

void CallbackQueue::post(std::function<void()> callback)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_) {
            return;
        }
        queue_.push_back(std::move(callback));
    }
    wake_.notify_one();
}

void CallbackQueue::stop()
{
    std::deque<std::function<void()>> dropped;
    std::thread thread;
    bool join = false;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        stopped_ = true;
        dropped.swap(queue_);
        thread = std::move(thread_);
        if (thread.joinable() && std::this_thread::get_id() != threadId_) {
            idle_.wait_for(lock, std::chrono::milliseconds(kStopGraceMs),
                           [this] { return !running_; });
            join = !running_;
        }
    }
    wake_.notify_all();
    // The dropped callbacks may hold the last references to their owner: release them unlocked.
    dropped.clear();
    if (!thread.joinable()) {
        return;
    }
    if (join) {
        thread.join();
    } else {
        thread.detach();
    }
}

bool CallbackQueue::onQueueThread() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return std::this_thread::get_id() == threadId_;
}

void CallbackQueue::run(std::shared_ptr<void> keepAlive)
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopped_ || !queue_.empty(); });
        if (stopped_) {
            break;
        }
        std::function<void()> callback = std::move(queue_.front());
        queue_.pop_front();
        running_ = true;
        lock.unlock();
        callback();
        callback = nullptr;
        lock.lock();
        running_ = false;
        idle_.notify_all();
    }
    lock.unlock();
    // Last, and unlocked: this may destroy the owner and with it this queue.
    keepAlive.reset();
}

} // namespace velmora::ctpapi
