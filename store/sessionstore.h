#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct sqlite3;

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

    void orderSent(int frontId, int sessionId, const QString &orderRef, const OwnOrder &order,
                   const QString &tradingDay);
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

    // Drops the rows older than that many days: a store lives for years.
    void prune(int days);

private:
    explicit SessionStore(const QString &filePath);
    // False with the reason; damaged when the file is no database or a broken one.
    bool openFile(QString *error, bool *damaged);
    bool exec(const char *sql);
    void writeFailed(const char *what);

    const QString path;
    std::mutex mutex;
    sqlite3 *db = nullptr;
    bool failureSaid = false;
};
