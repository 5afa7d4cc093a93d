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
const QString kUsername = QStringLiteral("username");
const int kLoginPollMs = 500;

// A report goes out only under the token of the user it belongs to: the one it was built with
// may have been renewed meanwhile, and another user's session may be open now. False while that
// user is not logged in.
bool takeOwnersToken(QByteArray *body)
{
    const QJsonDocument document = QJsonDocument::fromJson(*body);
    QJsonObject object = document.object();
    // Made outside any platform session: there is nobody to wait for.
    const QString owner = object.value(kUsername).toString();
    if (!object.contains(kToken) || owner.isEmpty()) {
        return true;
    }
    const QString token = GlobalVars::token;
    if (token.isEmpty() || owner != GlobalVars::username.get()) {
        return false;
    }
    if (object.value(kToken) == QJsonValue(token)) {
        return true;
    }
    object.insert(kToken, token);
    // Written the way it was, so that nothing but the token differs.
    *body = QJsonDocument(object).toJson(body->contains('\n') ? QJsonDocument::Indented
                                                              : QJsonDocument::Compact);
    return true;
}

QString withoutToken(const QByteArray &body)
{
    QJsonObject object = QJsonDocument::fromJson(body).object();
    object.remove(kToken);
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
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
    qCritical().noquote()
        << QStringLiteral("[平台报告] 未发出：%1 %2").arg(report.tag, withoutToken(report.body));
}

bool ReportWorker::waitForOwner(Report &report)
{
    bool said = false;
    while (!takeOwnersToken(&report.body)) {
        if (!said) {
            said = true;
            noteState(
                report,
                QStringLiteral("等待用户%1再次登录")
                    .arg(
                        QJsonDocument::fromJson(report.body).object().value(kUsername).toString()));
            qWarning().noquote() << QStringLiteral("[平台报告] 等待用户%1再次登录后发送：%2")
                                        .arg(QJsonDocument::fromJson(report.body)
                                                 .object()
                                                 .value(kUsername)
                                                 .toString(),
                                             report.tag);
        }
        if (!pause(kLoginPollMs)) {
            return false;
        }
    }
    return true;
}

void ReportWorker::enqueue(const QString &path, const QByteArray &body, int timeoutMs,
                           const QString &tag, const Retry &retry, const QString &orderKey,
                           const QByteArray &idempotencyKey)
{
    Report report;
    report.request = HttpRead::jsonRequest(path);
    report.body = body;
    report.timeoutMs = timeoutMs;
    report.tag = tag;
    report.retry = retry;
    report.key = idempotencyKey.isEmpty() ? QUuid::createUuid().toByteArray(QUuid::WithoutBraces)
                                          : idempotencyKey;
    report.store = SessionStore::current();
    if (report.store) {
        SessionStore::Report row;
        row.username = QJsonDocument::fromJson(body).object().value(kUsername).toString();
        row.path = path;
        row.tag = tag;
        row.body = body;
        row.idempotencyKey = report.key;
        report.storeId = report.store->reportQueued(row, orderKey);
    }
    noteState(report, QStringLiteral("等待发送"));
    push(std::move(report));
}

void ReportWorker::recover(const std::shared_ptr<SessionStore> &store, int timeoutMs,
                           const Retry &retry)
{
    for (const SessionStore::Report &row : store->waitingReports()) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (keysInHand.count(row.idempotencyKey) != 0) {
                continue;
            }
        }
        Report report;
        report.request = HttpRead::jsonRequest(row.path);
        report.body = row.body;
        report.timeoutMs = timeoutMs;
        report.tag = row.tag;
        report.retry = retry;
        report.key = row.idempotencyKey;
        report.store = store;
        report.storeId = row.id;
        qWarning().noquote() << QStringLiteral("[平台报告] 上次运行未送达，重新发送：%1 %2")
                                    .arg(row.tag, withoutToken(row.body));
        push(std::move(report));
    }
}

void ReportWorker::push(Report report)
{
    report.request.setRawHeader("Idempotency-Key", report.key);
    {
        std::lock_guard<std::mutex> lock(mutex);
        keysInHand.insert(report.key);
        queue.push_back(std::move(report));
        if (!thread.joinable()) {
            thread = std::thread([this] { run(); });
        }
    }
    wake.notify_one();
}

void ReportWorker::ended(const Report &report, SessionStore::ReportState state,
                         const QString &answer)
{
    if (report.store && report.storeId != 0) {
        report.store->reportEnded(report.storeId, state, answer);
    }
    noteState(report, state == SessionStore::ReportState::Stored
                          ? QStringLiteral("已送达")
                          : QStringLiteral("被拒绝：") + answer);
}

void ReportWorker::noteState(const Report &report, const QString &state)
{
    if (!report.store) {
        return;
    }
    const QJsonObject body = QJsonDocument::fromJson(report.body).object();
    const auto text = [&body](const char *key) {
        const QJsonValue value = body.value(QLatin1String(key));
        return value.isDouble() ? QString::number(value.toDouble()) : value.toString();
    };
    // Named by what it reports, with the start of its key to tell two of one order apart.
    const QString subject =
        QStringLiteral("%1 报单%2 #%3")
            .arg(report.tag, text("orderID"), QString::fromLatin1(report.key.left(8)));
    const QString summary =
        body.contains(QStringLiteral("direction"))
            ? QStringLiteral("%1 %2手 价格%3")
                  .arg(text("direction"), text("submitVolume"), text("price"))
            : QStringLiteral("成交%1手 价格%2").arg(text("volume"), text("price"));
    report.store->recordActivity(SessionStore::ActivityKind::Report, subject, summary, state);
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
        keysInHand.erase(report.key);
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
    qint64 loggedOutMs = 0;
    for (int attempt = 1;; ++attempt) {
        QElapsedTimer ownerWait;
        ownerWait.start();
        if (!waitForOwner(report)) {
            logNotSent(report);
            return;
        }
        // A logout is no failure of the platform: its time does not count towards giving up.
        loggedOutMs += ownerWait.elapsed();
        if (report.store && report.storeId != 0) {
            report.store->reportAttempted(report.storeId);
        }
        // Not logged per attempt: under a burst of failures only the first one and the outcome
        // say anything new.
        const QJsonObject result =
            HttpRead::post(report.request, report.body, report.timeoutMs, false, report.tag);
        if (!HttpRead::isTransportFailure(result)) {
            // The platform's decision ends the report; what it refused is kept whole in the log,
            // to be entered by hand.
            if (result.value(QStringLiteral("code")).toInt() != 0) {
                qCritical().noquote()
                    << QStringLiteral("[平台报告] 平台拒绝：%1 %2，返回：%3")
                           .arg(report.tag, withoutToken(report.body), describe(result));
                ended(report, SessionStore::ReportState::Refused, describe(result));
            } else {
                ended(report, SessionStore::ReportState::Stored, QString());
            }
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
        noteState(report, QStringLiteral("等待重试（已发送%1次）").arg(attempt));
        const bool outOfTurns =
            refusedForGood(result) || attempt >= report.retry.maxAttempts ||
            sinceFirst.elapsed() - loggedOutMs + pauseMs > report.retry.giveUpAfterMs;
        if (outOfTurns || !pause(pauseMs)) {
            // Refused as a request, it would be refused again; anything else stays waiting in
            // the store for the next start.
            if (refusedForGood(result)) {
                ended(report, SessionStore::ReportState::Refused, describe(result));
            } else {
                noteState(report, QStringLiteral("未送达，下次启动时重发"));
            }
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
