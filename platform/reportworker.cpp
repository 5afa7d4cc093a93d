#include "reportworker.h"

#include "httpread.h"

#include <chrono>

ReportWorker::~ReportWorker()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (thread.joinable()) {
        thread.join();
    }
}

void ReportWorker::enqueue(const QNetworkRequest &request, const QByteArray &body, int timeoutMs,
                           const QString &tag)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        queue.push_back(Report{request, body, timeoutMs, tag});
        if (!thread.joinable()) {
            thread = std::thread([this] { run(); });
        }
    }
    wake.notify_one();
}

bool ReportWorker::waitUntilSent(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex);
    return sent.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                         [this] { return queue.empty() && !sending; });
}

void ReportWorker::run()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopping || !queue.empty(); });
        if (queue.empty()) {
            return; // stopping, and nothing left to send
        }
        Report report = std::move(queue.front());
        queue.pop_front();
        sending = true;
        lock.unlock();
        // The reply is not looked at: a platform error is not ours to handle, and a transport
        // failure has been logged under the report's tag by the request itself.
        HttpRead::post(report.request, report.body, report.timeoutMs, true, report.tag);
        lock.lock();
        sending = false;
        if (queue.empty()) {
            sent.notify_all();
        }
    }
}
