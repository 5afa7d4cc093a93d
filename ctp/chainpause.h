#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

// The pause between the chained requests of a sequence. The library's Release() waits for a
// running callback, so a release must not wait out a pause: stop() ends every pause at once,
// and each pause until resume() ends before it begins.
//
// A pause on the callback thread also holds up the reading of the connection, so an answer that
// arrives meanwhile waits unread; chains that may overlap another one's query therefore run
// their steps on a thread of their own (after()), which stop() also ends.
class ChainPause
{
public:
    ChainPause() = default;
    ChainPause(const ChainPause &) = delete;
    ChainPause &operator=(const ChainPause &) = delete;
    ~ChainPause();

    // False when the pause was cut short by stop(): the chain must not go on.
    bool wait(int milliseconds);
    // Runs step on the chain's thread that many milliseconds from now, unless stop() comes
    // first. Steps run one at a time, in the order they fall due.
    void after(int milliseconds, std::function<void()> step);
    // Drops the steps not yet begun and waits for a running one (unless called from it).
    void stop();
    void resume();

private:
    using Clock = std::chrono::steady_clock;

    void run();

    std::mutex mutex;
    std::condition_variable changed;
    std::multimap<Clock::time_point, std::function<void()>> steps;
    std::thread worker;
    bool stepRunning = false;
    bool stopped = false;
    bool quitting = false;
};
