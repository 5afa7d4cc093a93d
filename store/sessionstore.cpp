#include "sessionstore.h"

#include "sqlitestatement.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace {

const char *const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS own_orders(
    front_id INTEGER NOT NULL, session_id INTEGER NOT NULL, order_ref TEXT NOT NULL,
    order_key TEXT NOT NULL, signal_id TEXT NOT NULL, trading_day TEXT NOT NULL,
    exchange_id TEXT NOT NULL DEFAULT '', order_sys_id TEXT NOT NULL DEFAULT '',
    created INTEGER NOT NULL, account_type TEXT NOT NULL DEFAULT '',
    PRIMARY KEY(front_id, session_id, order_ref));
CREATE INDEX IF NOT EXISTS own_orders_by_number ON own_orders(exchange_id, order_sys_id);
CREATE TABLE IF NOT EXISTS acted_signals(
    account_type TEXT NOT NULL, signal_id TEXT NOT NULL, created INTEGER NOT NULL,
    PRIMARY KEY(account_type, signal_id));
CREATE TABLE IF NOT EXISTS reports(
    id INTEGER PRIMARY KEY AUTOINCREMENT, username TEXT NOT NULL, path TEXT NOT NULL,
    tag TEXT NOT NULL, body BLOB NOT NULL, idempotency_key TEXT NOT NULL,
    order_key TEXT NOT NULL, attempts INTEGER NOT NULL DEFAULT 0,
    state TEXT NOT NULL, answer TEXT NOT NULL DEFAULT '', created INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS reports_by_state ON reports(state);
CREATE INDEX IF NOT EXISTS reports_by_order ON reports(order_key);
CREATE TABLE IF NOT EXISTS activity(
    id INTEGER PRIMARY KEY AUTOINCREMENT, kind INTEGER NOT NULL, subject TEXT NOT NULL,
    at_ms INTEGER NOT NULL, summary TEXT NOT NULL, state TEXT NOT NULL, seq INTEGER NOT NULL);
CREATE UNIQUE INDEX IF NOT EXISTS activity_by_subject ON activity(kind, subject) WHERE kind <> 4;
CREATE INDEX IF NOT EXISTS activity_by_seq ON activity(seq);
CREATE INDEX IF NOT EXISTS activity_by_time ON activity(at_ms);
CREATE TABLE IF NOT EXISTS reported_fills(
    trading_day TEXT NOT NULL, exchange_id TEXT NOT NULL, trade_id TEXT NOT NULL,
    direction TEXT NOT NULL, created INTEGER NOT NULL,
    PRIMARY KEY(trading_day, exchange_id, trade_id, direction));
)sql";

std::mutex currentMutex;
std::shared_ptr<SessionStore> currentStore;

std::string utf8(const QString &text)
{
    return text.toStdString();
}

QString fromUtf8(const std::string &text)
{
    return QString::fromStdString(text);
}

std::int64_t nowSeconds()
{
    return QDateTime::currentSecsSinceEpoch();
}

const char *stateName(SessionStore::ReportState state)
{
    switch (state) {
    case SessionStore::ReportState::Waiting:
        return "waiting";
    case SessionStore::ReportState::Stored:
        return "stored";
    case SessionStore::ReportState::Refused:
        return "refused";
    }
    return "waiting";
}

} // namespace

std::shared_ptr<SessionStore> SessionStore::open(const QString &filePath, QString *notice)
{
    QDir().mkpath(QFileInfo(filePath).absolutePath());
    std::shared_ptr<SessionStore> store(new SessionStore(filePath));
    QString error;
    bool damaged = false;
    if (store->openFile(&error, &damaged)) {
        return store;
    }
    store.reset();
    if (!damaged) {
        // Locked by another process, or a folder without rights: the file itself is sound.
        *notice = QStringLiteral("[会话存储] 无法打开%1（%2），本次运行不保存会话记录")
                      .arg(QDir::toNativeSeparators(filePath), error);
        return nullptr;
    }
    // Kept for whoever wants to look into it; the program carries on with a new one.
    const QString aside = filePath + QStringLiteral(".broken-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    const bool moved = QFile::rename(filePath, aside);
    for (const char *suffix : {"-wal", "-shm"}) {
        QFile::rename(filePath + QLatin1String(suffix), aside + QLatin1String(suffix));
    }
    store.reset(new SessionStore(filePath));
    QString again;
    if (moved && store->openFile(&again, &damaged)) {
        *notice =
            QStringLiteral("[会话存储] 无法读取%1（%2），已移至%3，改用新的存储")
                .arg(QDir::toNativeSeparators(filePath), error, QDir::toNativeSeparators(aside));
        return store;
    }
    *notice = QStringLiteral("[会话存储] 无法打开%1（%2），本次运行不保存会话记录")
                  .arg(QDir::toNativeSeparators(filePath), again.isEmpty() ? error : again);
    return nullptr;
}

std::shared_ptr<SessionStore> SessionStore::current()
{
    std::lock_guard<std::mutex> lock(currentMutex);
    return currentStore;
}

void SessionStore::setCurrent(std::shared_ptr<SessionStore> store)
{
    std::lock_guard<std::mutex> lock(currentMutex);
    currentStore = std::move(store);
}

SessionStore::SessionStore(const QString &filePath) : path(filePath) {}

SessionStore::~SessionStore()
{
    for (const auto &entry : statements) {
        sqlite3_finalize(entry.second);
    }
    sqlite3_close(db);
}

sqlite3_stmt *SessionStore::kept(const char *sql)
{
    sqlite3_stmt *&statement = statements[sql];
    if (!statement && sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        statement = nullptr;
    }
    return statement;
}

bool SessionStore::openFile(QString *error, bool *damaged)
{
    const QByteArray name = QFile::encodeName(path);
    if (sqlite3_open_v2(name.constData(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        *error = QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        db = nullptr;
        return false;
    }
    sqlite3_busy_timeout(db, 2000);
    bool checked = false;
    bool readable = false;
    {
        SqliteStatement check(db, "PRAGMA quick_check");
        checked = check.isValid() && check.step();
        readable = checked && check.text(0) == "ok";
    }
    // A killed process loses nothing committed; only a power cut may take the last commits.
    if (!readable || !exec("PRAGMA journal_mode=WAL") || !exec("PRAGMA synchronous=NORMAL") ||
        !exec(kSchema) || !ordersNameAccountType()) {
        const int code = sqlite3_errcode(db) & 0xff;
        *damaged = (checked && !readable) || code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
        *error = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        db = nullptr;
        return false;
    }
    SqliteStatement last(db, "SELECT COALESCE(MAX(seq), 0) FROM activity");
    activitySeq = last.step() ? last.integer(0) : 0;
    return true;
}

bool SessionStore::ordersNameAccountType()
{
    bool named = false;
    {
        SqliteStatement column(db, "SELECT 1 FROM pragma_table_info('own_orders') "
                                   "WHERE name = 'account_type'");
        named = column.step();
    }
    // Stores written before orders named their account type; their signals are in
    // acted_signals as well.
    return named || exec("ALTER TABLE own_orders ADD COLUMN account_type TEXT NOT NULL DEFAULT ''");
}

bool SessionStore::exec(const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

void SessionStore::writeFailed(const char *what)
{
    if (failureSaid) {
        return;
    }
    failureSaid = true;
    qCritical().noquote() << QStringLiteral("[会话存储] 写入失败（%1）：%2，此后的记录可能不全")
                                 .arg(QString::fromUtf8(what),
                                      QString::fromUtf8(sqlite3_errmsg(db)));
}

void SessionStore::orderSent(int frontId, int sessionId, const QString &orderRef,
                             const OwnOrder &order, const QString &tradingDay,
                             const QString &accountType)
{
    std::lock_guard<std::mutex> lock(mutex);
    SqliteStatement insert(kept("INSERT OR REPLACE INTO own_orders(front_id, session_id, "
                                "order_ref, order_key, signal_id, trading_day, created, "
                                "account_type) VALUES(?, ?, ?, ?, ?, ?, ?, ?)"));
    insert.bind(1, std::int64_t{frontId});
    insert.bind(2, std::int64_t{sessionId});
    insert.bind(3, utf8(orderRef));
    insert.bind(4, utf8(order.orderKey));
    insert.bind(5, utf8(order.signalId));
    insert.bind(6, utf8(tradingDay));
    insert.bind(7, nowSeconds());
    insert.bind(8, utf8(accountType));
    if (!insert.exec()) {
        writeFailed("own_orders");
    }
}

bool SessionStore::ownOrder(int frontId, int sessionId, const QString &orderRef, OwnOrder *order)
{
    std::lock_guard<std::mutex> lock(mutex);
    SqliteStatement select(db, "SELECT order_key, signal_id FROM own_orders "
                               "WHERE front_id = ? AND session_id = ? AND order_ref = ?");
    select.bind(1, std::int64_t{frontId});
    select.bind(2, std::int64_t{sessionId});
    select.bind(3, utf8(orderRef));
    if (!select.step()) {
        return false;
    }
    *order = OwnOrder{fromUtf8(select.text(0)), fromUtf8(select.text(1))};
    return true;
}

void SessionStore::orderNumbered(const QString &orderKey, const std::string &exchangeId,
                                 const std::string &orderSysId)
{
    std::lock_guard<std::mutex> lock(mutex);
    SqliteStatement update(db, "UPDATE own_orders SET exchange_id = ?, order_sys_id = ? "
                               "WHERE order_key = ? AND order_sys_id = ''");
    update.bind(1, exchangeId);
    update.bind(2, orderSysId);
    update.bind(3, utf8(orderKey));
    if (!update.exec()) {
        writeFailed("own_orders");
    }
}

QString SessionStore::orderKeyByNumber(const std::string &tradingDay, const std::string &exchangeId,
                                       const std::string &orderSysId)
{
    std::lock_guard<std::mutex> lock(mutex);
    SqliteStatement select(db, "SELECT order_key FROM own_orders WHERE trading_day = ? AND "
                               "exchange_id = ? AND order_sys_id = ? LIMIT 1");
    select.bind(1, tradingDay);
    select.bind(2, exchangeId);
    select.bind(3, orderSysId);
    return select.step() ? fromUtf8(select.text(0)) : QString();
}

void SessionStore::signalActed(const QString &accountType, const QString &signalId)
{
    std::lock_guard<std::mutex> lock(mutex);
    SqliteStatement insert(kept("INSERT OR IGNORE INTO acted_signals(account_type, signal_id, "
                                "created) VALUES(?, ?, ?)"));
    insert.bind(1, utf8(accountType));
    insert.bind(2, utf8(signalId));
    insert.bind(3, nowSeconds());
    if (!insert.exec()) {
        writeFailed("acted_signals");
    }
}

QStringList SessionStore::actedSignals(const QString &accountType)
{
    std::lock_guard<std::mutex> lock(mutex);
    // A signal that brought an order is on disk with the order.
    SqliteStatement select(db, "SELECT signal_id FROM (SELECT signal_id, created FROM "
                               "acted_signals WHERE account_type = ?1 UNION ALL SELECT signal_id, "
                               "created FROM own_orders WHERE account_type = ?1 AND signal_id <> "
                               "'0') GROUP BY signal_id ORDER BY MIN(created), signal_id");
    select.bind(1, utf8(accountType));
    QStringList ids;
    while (select.step()) {
        ids << fromUtf8(select.text(0));
    }
    return ids;
}

std::int64_t SessionStore::reportQueued(const Report &report, const QString &orderKey)
{
    std::lock_guard<std::mutex> lock(mutex);
    SqliteStatement insert(db, "INSERT INTO reports(username, path, tag, body, idempotency_key, "
                               "order_key, state, created) VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
    insert.bind(1, utf8(report.username));
    insert.bind(2, utf8(report.path));
    insert.bind(3, utf8(report.tag));
    insert.bindBlob(4, report.body.toStdString());
    insert.bind(5, report.idempotencyKey.toStdString());
    insert.bind(6, utf8(orderKey));
    insert.bind(7, std::string(stateName(ReportState::Waiting)));
    insert.bind(8, nowSeconds());
    if (!insert.exec()) {
        writeFailed("reports");
        return 0;
    }
    return sqlite3_last_insert_rowid(db);
}

void SessionStore::reportAttempted(std::int64_t id)
{
    std::lock_guard<std::mutex> lock(mutex);
    SqliteStatement update(db, "UPDATE reports SET attempts = attempts + 1 WHERE id = ?");
    update.bind(1, id);
    if (!update.exec()) {
        writeFailed("reports");
    }
}

void SessionStore::reportEnded(std::int64_t id, ReportState state, const QString &answer)
{
    std::lock_guard<std::mutex> lock(mutex);
    SqliteStatement update(db, "UPDATE reports SET state = ?, answer = ? WHERE id = ?");
    update.bind(1, std::string(stateName(state)));
    update.bind(2, utf8(answer));
    update.bind(3, id);
    if (!update.exec()) {
        writeFailed("reports");
    }
}

std::vector<SessionStore::Report> SessionStore::waitingReports()
{
    std::lock_guard<std::mutex> lock(mutex);
    SqliteStatement select(db, "SELECT id, username, path, tag, body, idempotency_key, attempts "
                               "FROM reports WHERE state = 'waiting' ORDER BY id");
    std::vector<Report> reports;
    while (select.step()) {
        Report r;
        r.id = select.integer(0);
        r.username = fromUtf8(select.text(1));
        r.path = fromUtf8(select.text(2));
        r.tag = fromUtf8(select.text(3));
        r.body = QByteArray::fromStdString(select.text(4));
        r.idempotencyKey = QByteArray::fromStdString(select.text(5));
        r.attempts = static_cast<int>(select.integer(6));
        reports.push_back(r);
    }
    return reports;
}

bool SessionStore::orderReported(const QString &orderKey)
{
    std::lock_guard<std::mutex> lock(mutex);
    SqliteStatement select(db, "SELECT 1 FROM reports WHERE order_key = ? LIMIT 1");
    select.bind(1, utf8(orderKey));
    return select.step();
}

bool SessionStore::fillReported(const std::string &tradingDay, const std::string &exchangeId,
                                const std::string &tradeId, char direction)
{
    std::lock_guard<std::mutex> lock(mutex);
    SqliteStatement select(db, "SELECT 1 FROM reported_fills WHERE trading_day = ? AND "
                               "exchange_id = ? AND trade_id = ? AND direction = ?");
    select.bind(1, tradingDay);
    select.bind(2, exchangeId);
    select.bind(3, tradeId);
    select.bind(4, std::string(1, direction));
    return select.step();
}

void SessionStore::rememberFill(const std::string &tradingDay, const std::string &exchangeId,
                                const std::string &tradeId, char direction)
{
    std::lock_guard<std::mutex> lock(mutex);
    SqliteStatement insert(db, "INSERT OR IGNORE INTO reported_fills(trading_day, exchange_id, "
                               "trade_id, direction, created) VALUES(?, ?, ?, ?, ?)");
    insert.bind(1, tradingDay);
    insert.bind(2, exchangeId);
    insert.bind(3, tradeId);
    insert.bind(4, std::string(1, direction));
    insert.bind(5, nowSeconds());
    if (!insert.exec()) {
        writeFailed("reported_fills");
    }
}

void SessionStore::recordActivity(ActivityKind kind, const QString &subject, const QString &summary,
                                  const QString &state)
{
    // A connection event is a row of its own; anything else has one row that changes.
    writeActivity(kind, subject, summary, state,
                  kind == ActivityKind::Connection
                      ? "INSERT INTO activity(kind, subject, at_ms, summary, state, seq) "
                        "VALUES(?, ?, ?, ?, ?, ?)"
                      : "INSERT INTO activity(kind, subject, at_ms, summary, state, seq) "
                        "VALUES(?, ?, ?, ?, ?, ?) ON CONFLICT(kind, subject) WHERE kind <> 4 DO "
                        "UPDATE SET state = excluded.state, seq = excluded.seq, summary = "
                        "CASE WHEN excluded.summary = '' THEN summary ELSE excluded.summary END");
}

void SessionStore::introduceActivity(ActivityKind kind, const QString &subject,
                                     const QString &summary, const QString &state)
{
    writeActivity(kind, subject, summary, state,
                  "INSERT INTO activity(kind, subject, at_ms, summary, state, seq) "
                  "VALUES(?, ?, ?, ?, ?, ?) ON CONFLICT(kind, subject) WHERE kind <> 4 DO "
                  "UPDATE SET seq = excluded.seq, summary = excluded.summary");
}

void SessionStore::writeActivity(ActivityKind kind, const QString &subject, const QString &summary,
                                 const QString &state, const char *sql)
{
    std::lock_guard<std::mutex> lock(mutex);
    SqliteStatement upsert(kept(sql));
    upsert.bind(1, static_cast<std::int64_t>(kind));
    upsert.bind(2, utf8(subject));
    upsert.bind(3, QDateTime::currentMSecsSinceEpoch());
    upsert.bind(4, utf8(summary));
    upsert.bind(5, utf8(state));
    upsert.bind(6, ++activitySeq);
    if (!upsert.exec()) {
        writeFailed("activity");
    }
}

void SessionStore::note(ActivityKind kind, const QString &subject, const QString &summary,
                        const QString &state)
{
    if (const std::shared_ptr<SessionStore> store = current()) {
        store->recordActivity(kind, subject, summary, state);
    }
}

void SessionStore::introduce(ActivityKind kind, const QString &subject, const QString &summary,
                             const QString &state)
{
    if (const std::shared_ptr<SessionStore> store = current()) {
        store->introduceActivity(kind, subject, summary, state);
    }
}

void SessionStore::noteConnection(const QString &what, const QString &state)
{
    note(ActivityKind::Connection, what, QString(), state);
}

std::vector<SessionStore::Activity> SessionStore::activitySince(std::int64_t seq,
                                                                std::int64_t fromMs)
{
    std::lock_guard<std::mutex> lock(mutex);
    SqliteStatement select(db, "SELECT seq, at_ms, kind, subject, summary, state FROM activity "
                               "WHERE seq > ? AND at_ms >= ? ORDER BY seq");
    select.bind(1, seq);
    select.bind(2, fromMs);
    std::vector<Activity> rows;
    while (select.step()) {
        Activity row;
        row.seq = select.integer(0);
        row.atMs = select.integer(1);
        row.kind = static_cast<ActivityKind>(select.integer(2));
        row.subject = fromUtf8(select.text(3));
        row.summary = fromUtf8(select.text(4));
        row.state = fromUtf8(select.text(5));
        rows.push_back(row);
    }
    return rows;
}

void SessionStore::prune(int days)
{
    std::lock_guard<std::mutex> lock(mutex);
    const std::int64_t before = nowSeconds() - std::int64_t{days} * 86400;
    // A report still waiting is kept whatever its age: it is what was not yet told.
    for (const char *sql :
         {"DELETE FROM own_orders WHERE created < ?", "DELETE FROM acted_signals WHERE created < ?",
          "DELETE FROM reports WHERE created < ? AND state <> 'waiting'",
          "DELETE FROM reported_fills WHERE created < ?"}) {
        SqliteStatement remove(db, sql);
        remove.bind(1, before);
        if (!remove.exec()) {
            writeFailed("prune");
        }
    }
}
