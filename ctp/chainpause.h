#pragma once

#include <condition_variable>
#include <mutex>

// The pause between the chained requests of a sequence, on the callback thread. The library's
// Release() waits for a running callback, so a release must not wait out the pause: stop()
// ends every pause at once, and each pause until resume() ends before it begins.
class ChainPause
{
public:
    // False when the pause was cut short by stop(): the chain must not go on.
    bool wait(int milliseconds);
    void stop();
    void resume();

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool stopped = false;
};
