#include "reportworker.h"

#include "httpread.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>

ReportWorker::~ReportWorker()
{
    std::deque<Report> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        dropped.swap(queue);
    }
    // The log keeps what the platform never got, so it can be told by hand; the token stays
    // out of the log file.
    for (const Report &report : dropped) {
        QJsonObject body = QJsonDocument::fromJson(report.body).object();
        body.remove(QStringLiteral("token"));
        qCritical().noquote() << QStringLiteral("[平台报告] 未发出：%1 %2")
                                     .arg(report.tag, QString::fromUtf8(QJsonDocument(body).toJson(
                                                          QJsonDocument::Compact)));
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

int ReportWorker::waitUntilSent(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex);
    sent.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                  [this] { return queue.empty() && !sending; });
    return static_cast<int>(queue.size()) + (sending ? 1 : 0);
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
