#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// What the client must not forget when its process dies, in one SQLite file per platform user,
// broker and investor: the orders it sent, the signals it acted on, the platform reports not yet
// stored and the fills already reported. Each is written before what it protects happens, so a
// process killed at any moment neither acts on a signal twice nor loses a report; the front
// replays the day's orders and fills after the next login, and this store tells which are ours.
// Every operation may come from any thread; a failed write is logged once and the program goes
// on, as it would have without the store.
class SessionStore
{
public:
    enum class ReportState
    {
        Waiting,
        Stored,
        Refused,
    };

    struct Report
    {
        std::int64_t id = 0;
        QString username;
        QString path;
        QString tag;
        QByteArray body;
        QByteArray idempotencyKey;
        int attempts = 0;
    };

    struct OwnOrder
    {
        QString orderKey;
        QString signalId;
    };

    // The store in that file, made when missing. A file that cannot be opened or read is moved
    // aside and a new one made, and `notice` says so in the program's words. Null only when no
    // file can be made there at all (notice says why).
    static std::shared_ptr<SessionStore> open(const QString &filePath, QString *notice);

    // The store of the session now open, or null.
    static std::shared_ptr<SessionStore> current();
    static void setCurrent(std::shared_ptr<SessionStore> store);

    ~SessionStore();
    SessionStore(const SessionStore &) = delete;
    SessionStore &operator=(const SessionStore &) = delete;

    QString filePath() const { return path; }

    // The order as ours, with the signal it acts on ("0" for one given by hand): one row, so
    // that the one write before an order leaves also keeps its signal from being acted on again.
    void orderSent(int frontId, int sessionId, const QString &orderRef, const OwnOrder &order,
                   const QString &tradingDay, const QString &accountType);
    // An order of this account sent by this program, in this process or an earlier one.
    bool ownOrder(int frontId, int sessionId, const QString &orderRef, OwnOrder *order);
    void orderNumbered(const QString &orderKey, const std::string &exchangeId,
                       const std::string &orderSysId);
    QString orderKeyByNumber(const std::string &tradingDay, const std::string &exchangeId,
                             const std::string &orderSysId);

    void signalActed(const QString &accountType, const QString &signalId);
    QStringList actedSignals(const QString &accountType);

    // The row of a report about to be sent for the first time; its id, 0 when not written.
    std::int64_t reportQueued(const Report &report, const QString &orderKey);
    void reportAttempted(std::int64_t id);
    void reportEnded(std::int64_t id, ReportState state, const QString &answer);
    std::vector<Report> waitingReports();
    bool orderReported(const QString &orderKey);

    bool fillReported(const std::string &tradingDay, const std::string &exchangeId,
                      const std::string &tradeId, char direction);
    void rememberFill(const std::string &tradingDay, const std::string &exchangeId,
                      const std::string &tradeId, char direction);

    // The activity a person can follow in the activity window: one row per signal, order, fill,
    // report or connection event. An order's or a report's row keeps its place and changes its
    // state as the order or the report moves on.
    enum class ActivityKind
    {
        Signal,
        Order,
        Fill,
        Report,
        Connection,
    };

    struct Activity
    {
        // Grows with every write, so a reader asks only for what changed since it last looked.
        std::int64_t seq = 0;
        // When it happened (first seen), milliseconds since the epoch.
        std::int64_t atMs = 0;
        ActivityKind kind = ActivityKind::Signal;
        // What the row is about: a signal id, an order key, a trade, a report, a connection.
        QString subject;
        QString summary;
        QString state;
    };

    // A new row, or the state (and, when not empty, the summary) of the row of that kind and
    // subject; the row keeps the time it was first written. Connection events are rows of their
    // own, whatever their subject.
    void recordActivity(ActivityKind kind, const QString &subject, const QString &summary,
                        const QString &state);
    // The first row of a subject written after the event it names, whose later states may be
    // written already: a new row, or that row with this summary and its own state.
    void introduceActivity(ActivityKind kind, const QString &subject, const QString &summary,
                           const QString &state);
    // recordActivity and introduceActivity on the store of the session now open, if any.
    static void note(ActivityKind kind, const QString &subject, const QString &summary,
                     const QString &state);
    static void introduce(ActivityKind kind, const QString &subject, const QString &summary,
                          const QString &state);
    // A connection event: a row of its own each time.
    static void noteConnection(const QString &what, const QString &state);
    // The rows written after seq whose events happened at or after fromMs, oldest change first.
    std::vector<Activity> activitySince(std::int64_t seq, std::int64_t fromMs);

    // Drops the rows older than that many days: a store lives for years.
    void prune(int days);

private:
    explicit SessionStore(const QString &filePath);
    // False with the reason; damaged when the file is no database or a broken one.
    bool openFile(QString *error, bool *damaged);
    bool exec(const char *sql);
    // Gives the own orders of a store of an earlier version their account type column.
    bool ordersNameAccountType();
    // The statement of that SQL text, prepared at its first use and kept; the mutex held.
    sqlite3_stmt *kept(const char *sql);
    void writeFailed(const char *what);
    void writeActivity(ActivityKind kind, const QString &subject, const QString &summary,
                       const QString &state, const char *sql);

    const QString path;
    std::mutex mutex;
    sqlite3 *db = nullptr;
    bool failureSaid = false;
    std::int64_t activitySeq = 0;
    std::map<const char *, sqlite3_stmt *> statements;
};
