#include "callbackqueue.h"

#include <chrono>
#include <cstdio>

namespace velmora::ctpapi {

namespace {

constexpr std::chrono::seconds kReportEvery{2};

} // namespace

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

void CallbackQueue::post(const char *name, std::function<void()> callback)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_) {
            return;
        }
        queue_.push_back(Entry{name, std::move(callback)});
    }
    wake_.notify_one();
}

void CallbackQueue::stop(std::function<void()> afterLast)
{
    std::deque<Entry> dropped;
    std::thread thread;
    bool first = false;
    bool insideCallback = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        first = !stopped_;
        stopped_ = true;
        dropped.swap(queue_);
        thread = std::move(thread_);
        insideCallback = std::this_thread::get_id() == threadId_;
        if (first && insideCallback) {
            afterLast_ = std::move(afterLast);
        }
    }
    wake_.notify_all();
    // The dropped callbacks may hold the last references to their owner: release them unlocked.
    dropped.clear();
    if (insideCallback) {
        if (thread.joinable()) {
            thread.detach();
        }
        return;
    }
    {
        std::unique_lock<std::mutex> lock(mutex_);
        waitWhileRunning(lock);
    }
    if (thread.joinable()) {
        thread.join();
    }
    if (first && afterLast) {
        afterLast();
    }
}

bool CallbackQueue::onQueueThread() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return std::this_thread::get_id() == threadId_;
}

void CallbackQueue::waitWhileRunning(std::unique_lock<std::mutex> &lock)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point began = Clock::now();
    Clock::time_point report = began + kReportEvery;
    while (running_) {
        if (idle_.wait_until(lock, report, [this] { return running_ == nullptr; })) {
            return;
        }
        const long long seconds =
            std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - began).count();
        std::fprintf(stderr, "ctpapi: Release is waiting for %s to return (%lld s)\n", running_,
                     seconds);
        std::fflush(stderr);
        report += kReportEvery;
    }
}

void CallbackQueue::run(std::shared_ptr<void> keepAlive)
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopped_ || !queue_.empty(); });
        if (stopped_) {
            break;
        }
        Entry entry = std::move(queue_.front());
        queue_.pop_front();
        running_ = entry.name ? entry.name : "a callback";
        lock.unlock();
        entry.callback();
        entry.callback = nullptr;
        lock.lock();
        running_ = nullptr;
        idle_.notify_all();
    }
    {
        std::function<void()> afterLast = std::move(afterLast_);
        lock.unlock();
        if (afterLast) {
            afterLast();
        }
    }
    // Last, and unlocked: this may destroy the owner and with it this queue.
    keepAlive.reset();
}

} // namespace velmora::ctpapi
