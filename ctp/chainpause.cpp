#include "chainpause.h"

ChainPause::~ChainPause()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        quitting = true;
        stopped = true;
        steps.clear();
    }
    changed.notify_all();
    if (worker.joinable()) {
        worker.join();
    }
}

bool ChainPause::wait(int milliseconds)
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return stopped; });
    return !stopped;
}

void ChainPause::after(int milliseconds, std::function<void()> step)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (stopped) {
            return;
        }
        steps.emplace(Clock::now() + std::chrono::milliseconds(milliseconds), std::move(step));
        if (!worker.joinable()) {
            worker = std::thread([this] { run(); });
        }
    }
    changed.notify_all();
}

void ChainPause::stop()
{
    std::unique_lock<std::mutex> lock(mutex);
    stopped = true;
    steps.clear();
    changed.notify_all();
    if (std::this_thread::get_id() != worker.get_id()) {
        changed.wait(lock, [this] { return !stepRunning; });
    }
}

void ChainPause::resume()
{
    std::lock_guard<std::mutex> lock(mutex);
    stopped = false;
}

void ChainPause::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (!quitting) {
        if (steps.empty()) {
            changed.wait(lock);
            continue;
        }
        const Clock::time_point due = steps.begin()->first;
        if (Clock::now() < due) {
            changed.wait_until(lock, due);
            continue;
        }
        std::function<void()> step = std::move(steps.begin()->second);
        steps.erase(steps.begin());
        stepRunning = true;
        lock.unlock();
        step();
        step = nullptr;
        lock.lock();
        stepRunning = false;
        changed.notify_all();
    }
}
