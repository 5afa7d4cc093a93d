#include "chainpause.h"

#include <chrono>

bool ChainPause::wait(int milliseconds)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return stopped; });
    return !stopped;
}

void ChainPause::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopped = true;
    }
    changed.notify_all();
}

void ChainPause::resume()
{
    std::lock_guard<std::mutex> lock(mutex);
    stopped = false;
}
