#pragma once

#include <atomic>
#include <mutex>

// The API object of GlobalVars, used by requests from the library threads while the GUI thread
// may take it away. A request holds the guard only while it hands its record to the API (which
// never waits for a callback); the owner takes the object out under the guard and releases it
// outside, because Release() waits for a running callback and a callback may be sending a
// request at that moment.
template <class Api> class ApiGuard
{
public:
    explicit ApiGuard(std::atomic<Api *> &slot) : slot(slot) {}
    ApiGuard(const ApiGuard &) = delete;
    ApiGuard &operator=(const ApiGuard &) = delete;

    // The request's code, or -1 (not connected) when there is no API object.
    template <class Request> int use(Request request)
    {
        std::lock_guard<std::mutex> lock(mutex);
        Api *api = slot.load();
        return api ? request(api) : -1;
    }

    Api *take()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return slot.exchange(nullptr);
    }

    void put(Api *api)
    {
        std::lock_guard<std::mutex> lock(mutex);
        slot = api;
    }

private:
    std::atomic<Api *> &slot;
    std::mutex mutex;
};
