#include "store.h"

#include "sqlitestatement.h"

#include <filesystem>
#include <sqlite3.h>

namespace {

const char *const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS reports("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, kind TEXT NOT NULL, account_type TEXT NOT NULL,"
    " path TEXT NOT NULL, received_at INTEGER NOT NULL, accepted INTEGER NOT NULL,"
    " error TEXT NOT NULL, body BLOB NOT NULL, username TEXT NOT NULL,"
    " order_id TEXT NOT NULL, signal_id TEXT NOT NULL, idempotency_key TEXT)",
    "CREATE INDEX IF NOT EXISTS reports_by_order ON reports(username, account_type, order_id)",
    "CREATE TABLE IF NOT EXISTS signals("
    " seq INTEGER PRIMARY KEY AUTOINCREMENT, id TEXT NOT NULL, username TEXT NOT NULL,"
    " account_type TEXT NOT NULL, instrument TEXT NOT NULL, direction TEXT NOT NULL,"
    " open_or_close TEXT NOT NULL, expires INTEGER NOT NULL, is_traded INTEGER NOT NULL,"
    " published_at INTEGER NOT NULL)",
    "CREATE INDEX IF NOT EXISTS signals_by_user ON signals(username, account_type, seq)",
    "CREATE TABLE IF NOT EXISTS tokens("
    " token TEXT PRIMARY KEY, username TEXT NOT NULL, expires_at INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS login_codes("
    " username TEXT PRIMARY KEY, login_code TEXT NOT NULL)",
};

bool isManualSignal(const std::string &signalId)
{
    return signalId.empty() || signalId == "0";
}

} // namespace

Store::~Store()
{
    if (db_)
        sqlite3_close(db_);
}

bool Store::open(const std::string &directory, std::string *error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    if (ec) {
        *error = "cannot create " + directory + ": " + ec.message();
        return false;
    }
    const std::string file = (std::filesystem::path(directory) / "simplatform.sqlite").string();
    if (sqlite3_open_v2(file.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        *error = "cannot open " + file + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory");
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    sqlite3_busy_timeout(db_, 5000);
    // WAL with NORMAL sync keeps every committed report across a killed process.
    if (!execute("PRAGMA journal_mode=WAL") || !execute("PRAGMA synchronous=NORMAL")) {
        *error = std::string("cannot prepare ") + file + ": " + sqlite3_errmsg(db_);
        return false;
    }
    for (const char *sql : kSchema) {
        if (!execute(sql)) {
            *error =
                std::string("cannot create the tables in ") + file + ": " + sqlite3_errmsg(db_);
            return false;
        }
    }
    // Refused reports carry no key (NULL), and SQLite lets NULLs repeat under a unique index.
    if (!addReportKeyColumn() ||
        !execute("CREATE UNIQUE INDEX IF NOT EXISTS reports_by_key ON reports(idempotency_key)")) {
        *error = std::string("cannot update the tables in ") + file + ": " + sqlite3_errmsg(db_);
        return false;
    }
    return true;
}

bool Store::addReportKeyColumn()
{
    // Files written before reports kept their idempotency key get the column, empty (NULL).
    SqliteStatement st(db_, "SELECT COUNT(*) FROM pragma_table_info('reports')"
                            " WHERE name = 'idempotency_key'");
    if (!st.step())
        return false;
    if (st.integer(0) > 0)
        return true;
    return execute("ALTER TABLE reports ADD COLUMN idempotency_key TEXT");
}

bool Store::execute(const char *sql)
{
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool Store::saveToken(const std::string &token, const std::string &username,
                      std::int64_t expiresAtMs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    SqliteStatement st(db_, "INSERT OR REPLACE INTO tokens(token, username, expires_at) "
                            "VALUES(?, ?, ?)");
    st.bind(1, token);
    st.bind(2, username);
    st.bind(3, expiresAtMs);
    return st.exec();
}

bool Store::tokenUser(const std::string &token, std::int64_t nowMs, std::string *username)
{
    std::lock_guard<std::mutex> lock(mutex_);
    SqliteStatement st(db_, "SELECT username FROM tokens WHERE token = ? AND expires_at > ?");
    st.bind(1, token);
    st.bind(2, nowMs);
    if (!st.step())
        return false;
    *username = st.text(0);
    return true;
}

int Store::expireTokens(const std::string &token, const std::string &username)
{
    std::lock_guard<std::mutex> lock(mutex_);
    SqliteStatement st(db_, token.empty() ? "UPDATE tokens SET expires_at = 0 WHERE username = ?"
                                          : "UPDATE tokens SET expires_at = 0 WHERE token = ?");
    st.bind(1, token.empty() ? username : token);
    if (!st.exec())
        return 0;
    return sqlite3_changes(db_);
}

void Store::pruneTokens(std::int64_t nowMs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    // Expired tokens stay a day so that a late request still gets a plain 401.
    SqliteStatement st(db_, "DELETE FROM tokens WHERE expires_at < ?");
    st.bind(1, nowMs - 24LL * 3600 * 1000);
    st.exec();
}

bool Store::saveLoginCode(const std::string &username, const std::string &loginCode)
{
    std::lock_guard<std::mutex> lock(mutex_);
    SqliteStatement st(db_, "INSERT OR REPLACE INTO login_codes(username, login_code) "
                            "VALUES(?, ?)");
    st.bind(1, username);
    st.bind(2, loginCode);
    return st.exec();
}

std::string Store::loginCode(const std::string &username)
{
    std::lock_guard<std::mutex> lock(mutex_);
    SqliteStatement st(db_, "SELECT login_code FROM login_codes WHERE username = ?");
    st.bind(1, username);
    return st.step() ? st.text(0) : std::string();
}

bool Store::insertSignal(const SignalRecord &signal)
{
    std::lock_guard<std::mutex> lock(mutex_);
    SqliteStatement st(db_, "INSERT INTO signals(id, username, account_type, instrument,"
                            " direction, open_or_close, expires, is_traded, published_at)"
                            " VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)");
    st.bind(1, signal.id);
    st.bind(2, signal.username);
    st.bind(3, signal.accountType);
    st.bind(4, signal.instrument);
    st.bind(5, signal.direction);
    st.bind(6, signal.openOrClose);
    st.bind(7, signal.expires);
    st.bind(8, static_cast<std::int64_t>(signal.isTraded));
    st.bind(9, signal.publishedAtMs);
    return st.exec();
}

bool Store::currentSignal(const std::string &username, const std::string &accountType,
                          SignalRecord *signal)
{
    std::lock_guard<std::mutex> lock(mutex_);
    SqliteStatement st(db_, "SELECT id, instrument, direction, open_or_close, expires, is_traded,"
                            " published_at FROM signals WHERE username = ? AND account_type = ?"
                            " ORDER BY seq DESC LIMIT 1");
    st.bind(1, username);
    st.bind(2, accountType);
    if (!st.step())
        return false;
    signal->id = st.text(0);
    signal->username = username;
    signal->accountType = accountType;
    signal->instrument = st.text(1);
    signal->direction = st.text(2);
    signal->openOrClose = st.text(3);
    signal->expires = st.integer(4);
    signal->isTraded = st.integer(5) != 0;
    signal->publishedAtMs = st.integer(6);
    return true;
}

std::int64_t Store::acceptedReportId(const std::string &idempotencyKey)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return reportIdLocked(idempotencyKey);
}

std::int64_t Store::reportIdLocked(const std::string &idempotencyKey)
{
    if (idempotencyKey.empty())
        return 0;
    SqliteStatement st(db_, "SELECT id FROM reports WHERE idempotency_key = ?");
    st.bind(1, idempotencyKey);
    return st.step() ? st.integer(0) : 0;
}

bool Store::insertReport(ReportRecord *report)
{
    std::lock_guard<std::mutex> lock(mutex_);
    // Checked again under the lock: a client that timed out may send its repeat while the
    // first request is still on its way here.
    if (report->accepted) {
        if (const std::int64_t id = reportIdLocked(report->idempotencyKey)) {
            report->id = id;
            return true;
        }
    }
    if (!execute("BEGIN IMMEDIATE"))
        return false;
    SqliteStatement st(db_, "INSERT INTO reports(kind, account_type, path, received_at, accepted,"
                            " error, body, username, order_id, signal_id, idempotency_key)"
                            " VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, NULLIF(?, ''))");
    st.bind(1, report->kind);
    st.bind(2, report->accountType);
    st.bind(3, report->path);
    st.bind(4, report->receivedAtMs);
    st.bind(5, static_cast<std::int64_t>(report->accepted));
    st.bind(6, report->error);
    st.bindBlob(7, report->body);
    st.bind(8, report->username);
    st.bind(9, report->orderID);
    st.bind(10, report->signalID);
    st.bind(11, report->accepted ? report->idempotencyKey : std::string());
    if (!st.exec()) {
        execute("ROLLBACK");
        return false;
    }
    report->id = sqlite3_last_insert_rowid(db_);
    if (report->accepted)
        markTradedFrom(*report);
    if (!execute("COMMIT")) {
        execute("ROLLBACK");
        return false;
    }
    return true;
}

void Store::markTradedFrom(const ReportRecord &report)
{
    std::string signalId = report.signalID;
    if (report.kind == "fill") {
        SqliteStatement order(db_, "SELECT signal_id FROM reports WHERE kind = 'order'"
                                   " AND accepted = 1 AND username = ? AND account_type = ?"
                                   " AND order_id = ? ORDER BY id DESC LIMIT 1");
        order.bind(1, report.username);
        order.bind(2, report.accountType);
        order.bind(3, report.orderID);
        if (!order.step())
            return;
        signalId = order.text(0);
    } else {
        SqliteStatement fill(db_, "SELECT 1 FROM reports WHERE kind = 'fill' AND accepted = 1"
                                  " AND username = ? AND account_type = ? AND order_id = ?"
                                  " LIMIT 1");
        fill.bind(1, report.username);
        fill.bind(2, report.accountType);
        fill.bind(3, report.orderID);
        if (!fill.step())
            return;
    }
    if (isManualSignal(signalId))
        return;
    SqliteStatement mark(db_, "UPDATE signals SET is_traded = 1 WHERE username = ?"
                              " AND account_type = ? AND id = ?");
    mark.bind(1, report.username);
    mark.bind(2, report.accountType);
    mark.bind(3, signalId);
    mark.exec();
}

std::vector<ReportRecord> Store::reports(const ReportFilter &filter)
{
    std::lock_guard<std::mutex> lock(mutex_);
    SqliteStatement st(db_, "SELECT id, kind, account_type, path, received_at, accepted, error,"
                            " body, username, order_id, signal_id, IFNULL(idempotency_key, '')"
                            " FROM reports"
                            " WHERE id > ? AND (? = '' OR kind = ?)"
                            " AND (? = '' OR account_type = ?) AND (? = '' OR username = ?)"
                            " AND (? < 0 OR accepted = ?) ORDER BY id");
    st.bind(1, filter.sinceId);
    st.bind(2, filter.kind);
    st.bind(3, filter.kind);
    st.bind(4, filter.accountType);
    st.bind(5, filter.accountType);
    st.bind(6, filter.username);
    st.bind(7, filter.username);
    st.bind(8, static_cast<std::int64_t>(filter.accepted));
    st.bind(9, static_cast<std::int64_t>(filter.accepted));
    std::vector<ReportRecord> rows;
    while (st.step()) {
        ReportRecord r;
        r.id = st.integer(0);
        r.kind = st.text(1);
        r.accountType = st.text(2);
        r.path = st.text(3);
        r.receivedAtMs = st.integer(4);
        r.accepted = st.integer(5) != 0;
        r.error = st.text(6);
        r.body = st.text(7);
        r.username = st.text(8);
        r.orderID = st.text(9);
        r.signalID = st.text(10);
        r.idempotencyKey = st.text(11);
        rows.push_back(std::move(r));
    }
    return rows;
}
