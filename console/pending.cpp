#include "pending.h"

void Pending::expect(int requestId)
{
    std::lock_guard<std::mutex> lock(mutex_);
    expected_ = requestId;
    expecting_ = true;
    answer_.reset();
}

void Pending::answer(int requestId, bool ok, std::string text)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!expecting_ || requestId != expected_ || answer_) {
            return;
        }
        answer_ = Answer{ok, std::move(text)};
    }
    changed_.notify_all();
}

void Pending::breakOff(std::string text)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!broken_) {
            broken_ = std::move(text);
        }
    }
    changed_.notify_all();
}

std::optional<std::string> Pending::brokenOff()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return broken_;
}

std::optional<Pending::Answer> Pending::wait(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_until(lock, deadline, [this] { return answer_.has_value() || broken_; });
    std::optional<Answer> result = answer_;
    if (!result && broken_) {
        result = Answer{false, *broken_};
    }
    expecting_ = false;
    return result;
}
