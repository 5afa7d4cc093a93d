#include "autosignaller.h"

#include "platform.h"

#include <chrono>

AutoSignaller::AutoSignaller(Platform &platform, int periodSeconds)
    : platform_(platform), periodSeconds_(periodSeconds), thread_([this] { run(); })
{
}

AutoSignaller::~AutoSignaller()
{
    stop();
}

void AutoSignaller::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void AutoSignaller::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        lock.unlock();
        // A second beyond the period keeps each signal valid until its successor is out.
        platform_.publishRotation(periodSeconds_ + 1);
        lock.lock();
        wake_.wait_for(lock, std::chrono::seconds(periodSeconds_), [this] { return stopping_; });
    }
}
