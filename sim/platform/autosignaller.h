#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

class Platform;

// Publishes the demo rotation at once and then every period, on a thread of its own.
class AutoSignaller
{
public:
    AutoSignaller(Platform &platform, int periodSeconds);
    ~AutoSignaller(); // stops and joins
    AutoSignaller(const AutoSignaller &) = delete;
    AutoSignaller &operator=(const AutoSignaller &) = delete;

    void stop();

private:
    void run();

    Platform &platform_;
    const int periodSeconds_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};
