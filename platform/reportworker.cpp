#include "reportworker.h"

#include "globalvars.h"
#include "httpread.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <algorithm>
#include <chrono>

namespace {

// An HTTP refusal of the request itself (a 4xx other than an expired token, a time-out or a
// rate limit): the same bytes would be refused again, and a refused copy may be kept.
bool refusedForGood(const QJsonObject &transportFailure)
{
    const int status = transportFailure.value(QStringLiteral("code")).toInt();
    return status >= 400 && status < 500 && status != 401 && status != 408 && status != 429;
}

const QString kToken = QStringLiteral("token");

// The token may have been renewed while the report waited; the one it was built with may no
// longer be accepted. After a session reset there is no newer token, so the old one stays.
void useCurrentToken(QByteArray *body)
{
    const QString token = GlobalVars::token;
    if (token.isEmpty()) {
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(*body);
    QJsonObject object = document.object();
    if (!object.contains(kToken) || object.value(kToken) == QJsonValue(token)) {
        return;
    }
    object.insert(kToken, token);
    // Written the way it was, so that nothing but the token differs.
    *body = QJsonDocument(object).toJson(body->contains('\n') ? QJsonDocument::Indented
                                                              : QJsonDocument::Compact);
}

QString describe(const QJsonObject &result)
{
    if (result.isEmpty()) {
        return QString::fromUtf8("应答无法识别");
    }
    return QString::fromUtf8(QJsonDocument(result).toJson(QJsonDocument::Compact)).left(200);
}

} // namespace

ReportWorker::~ReportWorker()
{
    std::deque<Report> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        dropped.swap(queue);
    }
    for (const Report &report : dropped) {
        logNotSent(report);
    }
    wake.notify_all();
    if (thread.joinable()) {
        thread.join();
    }
}

void ReportWorker::logNotSent(const Report &report)
{
    // The log keeps what the platform never got, so it can be told by hand; the token stays
    // out of the log file.
    QJsonObject body = QJsonDocument::fromJson(report.body).object();
    body.remove(kToken);
    qCritical().noquote() << QStringLiteral("[平台报告] 未发出：%1 %2")
                                 .arg(report.tag, QString::fromUtf8(QJsonDocument(body).toJson(
                                                      QJsonDocument::Compact)));
}

void ReportWorker::enqueue(const QNetworkRequest &request, const QByteArray &body, int timeoutMs,
                           const QString &tag, const Retry &retry)
{
    QNetworkRequest keyed(request);
    keyed.setRawHeader("Idempotency-Key", QUuid::createUuid().toByteArray(QUuid::WithoutBraces));
    {
        std::lock_guard<std::mutex> lock(mutex);
        queue.push_back(Report{keyed, body, timeoutMs, tag, retry});
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
        send(report);
        lock.lock();
        sending = false;
        if (queue.empty()) {
            sent.notify_all();
        }
    }
}

void ReportWorker::send(Report &report)
{
    QElapsedTimer sinceFirst;
    sinceFirst.start();
    int pauseMs = report.retry.firstPauseMs;
    for (int attempt = 1;; ++attempt) {
        if (attempt > 1) {
            useCurrentToken(&report.body);
        }
        // Not logged per attempt: under a burst of failures only the first one and the outcome
        // say anything new.
        const QJsonObject result =
            HttpRead::post(report.request, report.body, report.timeoutMs, false, report.tag);
        if (!HttpRead::isTransportFailure(result)) {
            if (attempt > 1) {
                qWarning().noquote() << QStringLiteral("[平台报告] 第 %1 次发送后送达：%2")
                                            .arg(attempt)
                                            .arg(report.tag);
            }
            return;
        }
        if (attempt == 1) {
            qWarning().noquote() << QStringLiteral("[平台报告] 发送失败，稍后重试：%1 %2")
                                        .arg(report.tag, describe(result));
        }
        const bool outOfTurns = refusedForGood(result) || attempt >= report.retry.maxAttempts ||
                                sinceFirst.elapsed() + pauseMs > report.retry.giveUpAfterMs;
        if (outOfTurns || !pause(pauseMs)) {
            logNotSent(report);
            return;
        }
        pauseMs = std::min(pauseMs * 2, report.retry.maxPauseMs);
    }
}

bool ReportWorker::pause(int ms)
{
    std::unique_lock<std::mutex> lock(mutex);
    return !wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping; });
}
