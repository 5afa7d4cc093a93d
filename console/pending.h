#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

// The answer one step waits for: given on an API's callback thread, awaited on the main thread.
// Answers to anything but the request now expected are dropped, so a reply arriving after its
// step timed out cannot pass for the next step's. A dropped connection fails the step awaited
// then and every later one: the check stops at its first failure, so nothing is resumed.
class Pending
{
public:
    struct Answer
    {
        bool ok = false;
        std::string text;
    };

    // Ids for answers that carry no request number of their own.
    static constexpr int kConnected = -100;
    static constexpr int kSubscribed = -101;

    // Called before the request goes out: an answer may arrive before the call returns.
    void expect(int requestId);
    void answer(int requestId, bool ok, std::string text);
    void breakOff(std::string text);
    // The dropped connection's text, if the connection dropped.
    std::optional<std::string> brokenOff();
    // Nothing when the deadline passed first.
    std::optional<Answer> wait(std::chrono::steady_clock::time_point deadline);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int expected_ = 0;
    bool expecting_ = false;
    std::optional<Answer> answer_;
    std::optional<std::string> broken_;
};
