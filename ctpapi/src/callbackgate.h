#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace velmora::ctpapi {

// Which Spi callback of an API object runs, and the way to wait for it. Callbacks run on the
// API's I/O thread, the one that reads the socket, and pass through the gate one at a time.
//
// close() may be called from any thread, including from inside a callback. Once it is called no
// further callback enters. From another thread it waits for a running callback as long as that
// takes, so that the caller may then destroy what the callback uses: a callback that never
// returns (blocked on a lock the caller holds) is a deadlock of the client, and every two seconds
// of waiting say so on stderr rather than leaving the callback to wake in freed memory. From
// inside a callback it cannot wait for itself: it returns at once, and afterLast runs when that
// callback leaves.
class CallbackGate
{
public:
    CallbackGate() = default;
    CallbackGate(const CallbackGate &) = delete;
    CallbackGate &operator=(const CallbackGate &) = delete;

    // False once the gate is closed. name: the Spi method about to run, for the stderr report of
    // a close() that waits; a text that lives as long as the program.
    bool enter(const char *name);
    // After the callback has returned, on the thread that entered; runs the afterLast of a
    // close() made from inside it.
    void leave();
    // afterLast runs once no callback runs or can enter: before close() returns, or, when close()
    // is called from inside a callback, right after that callback leaves. Only the first call's
    // afterLast runs.
    void close(std::function<void()> afterLast = {});

private:
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    bool closed_ = false;
    const char *running_ = nullptr;
    std::thread::id runningOn_;
    std::function<void()> afterLast_;
};

} // namespace velmora::ctpapi
