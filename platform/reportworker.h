#pragma once

#include <QByteArray>
#include <QNetworkRequest>
#include <QString>

#include "sessionstore.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

// Sends the platform reports one after another on a thread of its own, in the order they were
// handed in. A report is built completely (URL, token, every value of the session record) by the
// caller before it is queued, so sending it later changes neither its contents nor its place.
//
// Why a thread of its own: an order report is sent while the trading service holds its
// non-recursive mutex, and the local event loop of a request made on that thread would run
// timer slots that may want the same mutex; a fill report is sent from the trading callback
// thread, where waiting up to the request time-out for a stalled platform would hold back every
// further trading callback. Reports are fire-and-forget, so nobody needs to wait for them.
//
// A report the platform never answered is sent again after a growing pause, and the reports
// behind it wait, so the platform still sees them in order. A report goes out only under its own
// user's token; while that user is logged out it waits for the next login of that user. Every
// attempt of one report carries the same Idempotency-Key header, so the platform stores a report
// whose answer was lost only once. A platform answer of any code ends the report: a refusal is the
// platform's decision.
class ReportWorker
{
public:
    struct Retry
    {
        int firstPauseMs = 500;
        int maxPauseMs = 5000;
        int maxAttempts = 20;
        // No further attempt starts once this much has passed since the first one.
        int giveUpAfterMs = 60000;
    };

    ReportWorker() = default;
    // Logs and drops what is still queued, lets the attempt in flight finish (its own time-out
    // bounds that) without a further one, then ends the thread. Whoever wants the queue sent
    // waits for it first.
    ~ReportWorker();
    ReportWorker(const ReportWorker &) = delete;
    ReportWorker &operator=(const ReportWorker &) = delete;

    // Callable from any thread; the thread starts with the first report. The report is written
    // to the session store now open, if any, before its first attempt, so a killed process sends
    // it at its next start. Without an idempotency key a new one is made; a key derived from
    // what is reported makes a report sent twice across a kill count once.
    void enqueue(const QString &path, const QByteArray &body, int timeoutMs, const QString &tag,
                 const Retry &retry, const QString &orderKey = QString(),
                 const QByteArray &idempotencyKey = QByteArray());
    // The reports an earlier process left unsent in that store, with their own keys; those this
    // process holds already are not queued twice.
    void recover(const std::shared_ptr<SessionStore> &store, int timeoutMs, const Retry &retry);

    // Waits until every report handed in so far has been sent (or given up), for at most
    // timeoutMs; returns how many were still queued or in flight then (0: all sent).
    int waitUntilSent(int timeoutMs);

private:
    struct Report
    {
        QNetworkRequest request;
        QByteArray body;
        int timeoutMs = 0;
        QString tag;
        Retry retry;
        QByteArray key;
        std::shared_ptr<SessionStore> store;
        std::int64_t storeId = 0;
    };

    void push(Report report);
    static void ended(const Report &report, SessionStore::ReportState state, const QString &answer);
    // The report's row in the activity of its own store.
    static void noteState(const Report &report, const QString &state);

    void run();
    void send(Report &report);
    // False when the worker is stopping, at once.
    bool pause(int ms);
    // Until the user the report belongs to is logged in, with that user's token in the body;
    // false when the worker is stopping first.
    bool waitForOwner(Report &report);
    static void logNotSent(const Report &report);

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable sent;
    std::deque<Report> queue;
    // The keys queued or in flight, so that a recovery does not queue a report twice.
    std::set<QByteArray> keysInHand;
    bool sending = false;
    bool stopping = false;
    std::thread thread;
};
