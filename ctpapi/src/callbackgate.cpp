#include "callbackgate.h"

#include <chrono>
#include <cstdio>

namespace velmora::ctpapi {

namespace {

constexpr std::chrono::seconds kReportEvery{2};

} // namespace

bool CallbackGate::enter(const char *name)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) {
        return false;
    }
    running_ = name ? name : "a callback";
    runningOn_ = std::this_thread::get_id();
    return true;
}

void CallbackGate::leave()
{
    std::function<void()> afterLast;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        running_ = nullptr;
        runningOn_ = std::thread::id();
        afterLast = std::move(afterLast_);
    }
    idle_.notify_all();
    if (afterLast) {
        afterLast();
    }
}

void CallbackGate::close(std::function<void()> afterLast)
{
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> lock(mutex_);
    const bool first = !closed_;
    closed_ = true;
    if (running_ && runningOn_ == std::this_thread::get_id()) {
        if (first) {
            afterLast_ = std::move(afterLast);
        }
        return;
    }
    const Clock::time_point began = Clock::now();
    Clock::time_point report = began + kReportEvery;
    while (running_) {
        if (idle_.wait_until(lock, report, [this] { return running_ == nullptr; })) {
            break;
        }
        const long long seconds =
            std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - began).count();
        std::fprintf(stderr, "ctpapi: Release is waiting for %s to return (%lld s)\n", running_,
                     seconds);
        std::fflush(stderr);
        report += kReportEvery;
    }
    lock.unlock();
    if (first && afterLast) {
        afterLast();
    }
}

} // namespace velmora::ctpapi
