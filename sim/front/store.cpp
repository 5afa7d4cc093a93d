#include "store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

namespace simfront {

// A prepared statement with positional binding; finalised when it goes out of scope.
class Store::Query
{
public:
    Query(const Store &store, const char *sql) : store(store), stmt(store.prepared(sql)) {}
    ~Query()
    {
        if (stmt) {
            sqlite3_reset(stmt);
            sqlite3_clear_bindings(stmt);
        }
    }
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;

    Query &bind(const std::string &v)
    {
        sqlite3_bind_text(stmt, ++index, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Query &bind(const char *v) { return bind(std::string(v)); }
    Query &bind(char v) { return bind(std::string(1, v)); }
    Query &bind(int v)
    {
        sqlite3_bind_int64(stmt, ++index, v);
        return *this;
    }
    Query &bind(long long v)
    {
        sqlite3_bind_int64(stmt, ++index, v);
        return *this;
    }
    Query &bind(double v)
    {
        sqlite3_bind_double(stmt, ++index, v);
        return *this;
    }
    Query &blob(const std::string &v)
    {
        sqlite3_bind_blob(stmt, ++index, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }

    bool next()
    {
        if (!stmt) {
            return false;
        }
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW) {
            column = 0;
            return true;
        }
        if (rc != SQLITE_DONE) {
            store.fail(std::string("step: ") + sqlite3_errmsg(store.db));
        }
        return false;
    }
    void run() { next(); }

    std::string text()
    {
        const int i = column++;
        const auto *p = sqlite3_column_blob(stmt, i);
        const int n = sqlite3_column_bytes(stmt, i);
        return p ? std::string(static_cast<const char *>(p), static_cast<std::size_t>(n))
                 : std::string();
    }
    char character()
    {
        const std::string t = text();
        return t.empty() ? '\0' : t[0];
    }
    int integer() { return static_cast<int>(sqlite3_column_int64(stmt, column++)); }
    long long integer64() { return sqlite3_column_int64(stmt, column++); }
    double real() { return sqlite3_column_double(stmt, column++); }

private:
    const Store &store;
    sqlite3_stmt *stmt = nullptr;
    int index = 0;
    int column = 0;
};

// Copies the write-ahead log back into the database file from a connection and a thread of its
// own. A PASSIVE checkpoint never takes the writer's lock, yet its syncs stall the writer's
// appends in the file system while they last, so it waits for a pause in the commits: that is
// also the only time it can catch up and let the writer start the log again from the top. A
// stream of commits without a pause is checkpointed only when its log has grown very long.
class Store::Checkpointer
{
public:
    Checkpointer() = default;
    Checkpointer(const Checkpointer &) = delete;
    Checkpointer &operator=(const Checkpointer &) = delete;
    ~Checkpointer() { stop(); }

    bool start(const std::string &path, sqlite3 *writer, std::string &err)
    {
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            err = std::string("checkpoint connection: ") +
                  (db ? sqlite3_errmsg(db) : "out of memory");
            return false;
        }
        sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
        sqlite3_wal_hook(writer, &Checkpointer::committed, this);
        thread = std::thread([this] { run(); });
        return true;
    }

    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        wake.notify_one();
        if (thread.joinable()) {
            thread.join();
        }
        sqlite3_close(db);
        db = nullptr;
    }

private:
    static constexpr std::chrono::milliseconds kLook{100};
    static constexpr std::chrono::milliseconds kPause{200};
    static constexpr int kLongLog = 65536; // frames, 256 MB of 4 KB pages

    // Runs inside every commit of the writer: two relaxed stores and nothing else.
    static int committed(void *context, sqlite3 *, const char *, int frames)
    {
        auto *self = static_cast<Checkpointer *>(context);
        self->lastCommit.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
        self->logFrames.store(frames, std::memory_order_relaxed);
        return SQLITE_OK;
    }

    void run()
    {
        long long checkpointed = 0; // the commit last seen by a checkpoint
        int copied = 0;
        std::unique_lock<std::mutex> lock(mutex);
        while (!wake.wait_for(lock, kLook, [this] { return stopping; })) {
            const long long last = lastCommit.load(std::memory_order_relaxed);
            const int frames = logFrames.load(std::memory_order_relaxed);
            const bool paused = Clock::now().time_since_epoch().count() - last >=
                                std::chrono::duration_cast<Clock::duration>(kPause).count();
            // Fewer frames than were copied means the writer started the log again.
            const bool longLog = (frames >= copied ? frames - copied : frames) >= kLongLog;
            if (last == checkpointed || (!paused && !longLog)) {
                continue;
            }
            lock.unlock();
            int done = 0;
            const int rc =
                sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, &done);
            if (rc != SQLITE_OK && rc != SQLITE_BUSY) {
                std::fprintf(stderr, "simfront: store: checkpoint: %s\n", sqlite3_errmsg(db));
            }
            checkpointed = last;
            copied = rc == SQLITE_OK ? done : 0;
            lock.lock();
        }
    }

    using Clock = std::chrono::steady_clock;
    sqlite3 *db = nullptr;
    std::thread thread;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::atomic<long long> lastCommit{0};
    std::atomic<int> logFrames{0};
};

namespace {

const char kSchema[] = R"sql(
CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS accounts (
    investor_id TEXT PRIMARY KEY, pre_balance REAL, deposit REAL, withdraw REAL,
    close_profit REAL, commission REAL, pre_margin REAL);
CREATE TABLE IF NOT EXISTS positions (
    investor_id TEXT, instrument_id TEXT, direction TEXT, yd_start INTEGER,
    td_volume INTEGER, td_cost REAL, td_open_cost REAL, td_open_volume INTEGER,
    td_open_amount REAL, td_close_volume INTEGER, td_close_amount REAL, td_close_profit REAL,
    td_commission REAL,
    yd_volume INTEGER, yd_cost REAL, yd_open_cost REAL, yd_open_volume INTEGER,
    yd_open_amount REAL, yd_close_volume INTEGER, yd_close_amount REAL, yd_close_profit REAL,
    yd_commission REAL,
    PRIMARY KEY (investor_id, instrument_id, direction));
CREATE TABLE IF NOT EXISTS orders (
    seq INTEGER PRIMARY KEY, trading_day TEXT, broker_id TEXT, investor_id TEXT, user_id TEXT,
    instrument_id TEXT, exchange_id TEXT, order_ref TEXT, front_id INTEGER, session_id INTEGER,
    request_id INTEGER, order_sys_id TEXT, order_local_id TEXT, broker_order_seq INTEGER,
    direction TEXT, offset_flag TEXT, hedge TEXT, price_type TEXT, time_condition TEXT,
    volume_condition TEXT, limit_price REAL, volume INTEGER, volume_traded INTEGER,
    status TEXT, submit_status TEXT, status_msg TEXT, insert_date TEXT, insert_time TEXT,
    update_time TEXT, cancel_time TEXT, micros INTEGER, min_volume INTEGER DEFAULT 1);
CREATE TABLE IF NOT EXISTS trades (
    seq INTEGER PRIMARY KEY, trading_day TEXT, broker_id TEXT, investor_id TEXT, user_id TEXT,
    instrument_id TEXT, exchange_id TEXT, order_ref TEXT, order_sys_id TEXT,
    order_local_id TEXT, broker_order_seq INTEGER, trade_id TEXT, direction TEXT,
    offset_flag TEXT, hedge TEXT, price REAL, volume INTEGER, trade_date TEXT, trade_time TEXT,
    close_profit REAL, commission REAL, micros INTEGER);
CREATE TABLE IF NOT EXISTS confirmations (
    investor_id TEXT, trading_day TEXT, stamp TEXT, PRIMARY KEY (investor_id, trading_day));
CREATE TABLE IF NOT EXISTS statements (
    investor_id TEXT, trading_day TEXT, content BLOB, PRIMARY KEY (investor_id, trading_day));
CREATE TABLE IF NOT EXISTS login_failures (investor_id TEXT PRIMARY KEY, failures INTEGER);
CREATE TABLE IF NOT EXISTS instrument_days (
    instrument_id TEXT PRIMARY KEY, pre_settlement REAL, pre_close REAL,
    pre_open_interest REAL);
)sql";

} // namespace

Store::Store() = default;

Store::~Store()
{
    close();
}

bool Store::open(const std::string &folder, std::string &err)
{
    close();
    std::string path = ":memory:";
    if (!folder.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec || !std::filesystem::is_directory(folder, ec)) {
            err = "cannot create the data folder " + folder;
            return false;
        }
        path = folder + "/simfront.sqlite";
        if (!lockFolder(folder, err)) {
            err = "cannot open " + path + ": " + err;
            return false;
        }
    }
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        err = "cannot open " + path + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
        close();
        return false;
    }
    sqlite3_busy_timeout(db, 2000);
    // WAL with NORMAL syncing commits without waiting for the disk on every order, and a
    // committed transaction still survives the process being killed. Checkpoints, which do
    // wait for the disk, belong to the checkpointer alone: none runs inside a commit.
    if (!exec("PRAGMA journal_mode=WAL") || !exec("PRAGMA synchronous=NORMAL") ||
        !exec("PRAGMA wal_autocheckpoint=0") || !exec(kSchema) || !addOrdersMinVolume()) {
        err = "cannot prepare " + path + ": " + error;
        close();
        return false;
    }
    if (!folder.empty()) {
        checkpointer = std::make_unique<Checkpointer>();
        if (!checkpointer->start(path, db, err)) {
            err = "cannot open " + path + ": " + err;
            close();
            return false;
        }
    }
    return true;
}

bool Store::lockFolder(const std::string &folder, std::string &err)
{
    // SQLite's exclusive locking mode would shut out the checkpointer's connection as well, so
    // the folder is locked instead. flock belongs to the open file, which keeps a second store
    // off the books in this process too, and the lock ends with the process however it ends.
    folderLock = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderLock < 0) {
        err = "cannot open the data folder";
        return false;
    }
    if (::flock(folderLock, LOCK_EX | LOCK_NB) != 0) {
        err = "database is locked";
        ::close(folderLock);
        folderLock = -1;
        return false;
    }
    return true;
}

sqlite3_stmt *Store::prepared(const char *sql) const
{
    // Preparing costs more than running these small statements; each is prepared once.
    auto it = statements.find(sql);
    if (it != statements.end()) {
        return it->second;
    }
    sqlite3_stmt *stmt = nullptr;
    if (!db || sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        fail(std::string("prepare: ") + (db ? sqlite3_errmsg(db) : "no database"));
        return nullptr;
    }
    statements.emplace(sql, stmt);
    return stmt;
}

void Store::close()
{
    for (auto &entry : statements) {
        sqlite3_finalize(entry.second);
    }
    statements.clear();
    // The checkpointer goes first, so the writer's connection is the last one and copies and
    // removes the log as it closes.
    checkpointer.reset();
    if (db) {
        sqlite3_close(db);
        db = nullptr;
    }
    if (folderLock >= 0) {
        ::close(folderLock);
        folderLock = -1;
    }
    depth = 0;
}

bool Store::addOrdersMinVolume()
{
    // Books written before orders kept their minimum volume get the column, as 1.
    Query q(*this, "SELECT COUNT(*) FROM pragma_table_info('orders') WHERE name = 'min_volume'");
    if (!q.next() || q.integer() > 0) {
        return error.empty();
    }
    return exec("ALTER TABLE orders ADD COLUMN min_volume INTEGER DEFAULT 1");
}

bool Store::exec(const char *sql)
{
    char *msg = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &msg) != SQLITE_OK) {
        fail(msg ? msg : "sqlite error");
        sqlite3_free(msg);
        return false;
    }
    return true;
}

void Store::fail(const std::string &what) const
{
    error = what;
    std::fprintf(stderr, "simfront: store: %s\n", what.c_str());
}

// Prepared like every other statement: sqlite3_exec would parse them again for every order.
void Store::begin()
{
    if (db && depth++ == 0) {
        Query(*this, "BEGIN").run();
    }
}

void Store::commit()
{
    if (db && depth > 0 && --depth == 0) {
        Query(*this, "COMMIT").run();
    }
}

std::optional<std::string> Store::meta(const std::string &key) const
{
    Query q(*this, "SELECT value FROM meta WHERE key = ?");
    q.bind(key);
    if (q.next()) {
        return q.text();
    }
    return std::nullopt;
}

void Store::setMeta(const std::string &key, const std::string &value)
{
    Query(*this, "INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)")
        .bind(key)
        .bind(value)
        .run();
}

std::vector<Account> Store::accounts() const
{
    std::vector<Account> out;
    Query q(*this, "SELECT investor_id, pre_balance, deposit, withdraw, close_profit, "
                   "commission, pre_margin FROM accounts");
    while (q.next()) {
        Account a;
        a.investorId = q.text();
        a.preBalance = q.real();
        a.deposit = q.real();
        a.withdraw = q.real();
        a.closeProfit = q.real();
        a.commission = q.real();
        a.preMargin = q.real();
        out.push_back(a);
    }
    return out;
}

void Store::save(const Account &a)
{
    Query(*this, "INSERT OR REPLACE INTO accounts VALUES (?, ?, ?, ?, ?, ?, ?)")
        .bind(a.investorId)
        .bind(a.preBalance)
        .bind(a.deposit)
        .bind(a.withdraw)
        .bind(a.closeProfit)
        .bind(a.commission)
        .bind(a.preMargin)
        .run();
}

namespace {

template <typename Q> void bindLeg(Q &q, const PositionLeg &l)
{
    q.bind(l.volume)
        .bind(l.cost)
        .bind(l.openCost)
        .bind(l.openVolume)
        .bind(l.openAmount)
        .bind(l.closeVolume)
        .bind(l.closeAmount)
        .bind(l.closeProfit)
        .bind(l.commission);
}

template <typename Q> PositionLeg readLeg(Q &q)
{
    PositionLeg l;
    l.volume = q.integer();
    l.cost = q.real();
    l.openCost = q.real();
    l.openVolume = q.integer();
    l.openAmount = q.real();
    l.closeVolume = q.integer();
    l.closeAmount = q.real();
    l.closeProfit = q.real();
    l.commission = q.real();
    return l;
}

} // namespace

std::vector<Position> Store::positions() const
{
    std::vector<Position> out;
    Query q(*this, "SELECT * FROM positions ORDER BY investor_id, instrument_id, direction");
    while (q.next()) {
        Position p;
        p.investorId = q.text();
        p.instrumentId = q.text();
        p.direction = q.character();
        p.ydStart = q.integer();
        p.today = readLeg(q);
        p.yd = readLeg(q);
        out.push_back(p);
    }
    return out;
}

void Store::save(const Position &p)
{
    Query q(*this, "INSERT OR REPLACE INTO positions VALUES "
                   "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    q.bind(p.investorId).bind(p.instrumentId).bind(p.direction).bind(p.ydStart);
    bindLeg(q, p.today);
    bindLeg(q, p.yd);
    q.run();
}

void Store::erase(const Position &p)
{
    Query(*this, "DELETE FROM positions WHERE investor_id = ? AND instrument_id = ? AND "
                 "direction = ?")
        .bind(p.investorId)
        .bind(p.instrumentId)
        .bind(p.direction)
        .run();
}

std::vector<Order> Store::orders(const std::string &tradingDay, long long afterSeq) const
{
    std::vector<Order> out;
    Query q(*this, "SELECT * FROM orders WHERE seq > ? AND trading_day = ? ORDER BY seq");
    q.bind(afterSeq).bind(tradingDay);
    while (q.next()) {
        Order o;
        o.seq = q.integer64();
        o.tradingDay = q.text();
        o.brokerId = q.text();
        o.investorId = q.text();
        o.userId = q.text();
        o.instrumentId = q.text();
        o.exchangeId = q.text();
        o.orderRef = q.text();
        o.frontId = q.integer();
        o.sessionId = q.integer();
        o.requestId = q.integer();
        o.orderSysId = q.text();
        o.orderLocalId = q.text();
        o.brokerOrderSeq = q.integer();
        o.direction = q.character();
        o.offset = q.character();
        o.hedge = q.character();
        o.priceType = q.character();
        o.timeCondition = q.character();
        o.volumeCondition = q.character();
        o.limitPrice = q.real();
        o.volume = q.integer();
        o.volumeTraded = q.integer();
        o.status = q.character();
        o.submitStatus = q.character();
        o.statusMsg = q.text();
        o.insertDate = q.text();
        o.insertTime = q.text();
        o.updateTime = q.text();
        o.cancelTime = q.text();
        o.micros = q.integer64();
        o.minVolume = q.integer();
        out.push_back(o);
    }
    return out;
}

void Store::save(const Order &o)
{
    Query q(*this, "INSERT OR REPLACE INTO orders VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                   "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    q.bind(o.seq).bind(o.tradingDay).bind(o.brokerId).bind(o.investorId).bind(o.userId);
    q.bind(o.instrumentId).bind(o.exchangeId).bind(o.orderRef).bind(o.frontId);
    q.bind(o.sessionId).bind(o.requestId).bind(o.orderSysId).bind(o.orderLocalId);
    q.bind(o.brokerOrderSeq).bind(o.direction).bind(o.offset).bind(o.hedge).bind(o.priceType);
    q.bind(o.timeCondition).bind(o.volumeCondition).bind(o.limitPrice).bind(o.volume);
    q.bind(o.volumeTraded).bind(o.status).bind(o.submitStatus).bind(o.statusMsg);
    q.bind(o.insertDate).bind(o.insertTime).bind(o.updateTime).bind(o.cancelTime).bind(o.micros);
    q.bind(o.minVolume);
    q.run();
}

long long Store::maxOrderSeq() const
{
    Query q(*this, "SELECT COALESCE(MAX(seq), 0) FROM orders");
    return q.next() ? q.integer64() : 0;
}

std::vector<Trade> Store::trades(const std::string &tradingDay, long long afterSeq) const
{
    std::vector<Trade> out;
    Query q(*this, "SELECT * FROM trades WHERE seq > ? AND trading_day = ? ORDER BY seq");
    q.bind(afterSeq).bind(tradingDay);
    while (q.next()) {
        Trade t;
        t.seq = q.integer64();
        t.tradingDay = q.text();
        t.brokerId = q.text();
        t.investorId = q.text();
        t.userId = q.text();
        t.instrumentId = q.text();
        t.exchangeId = q.text();
        t.orderRef = q.text();
        t.orderSysId = q.text();
        t.orderLocalId = q.text();
        t.brokerOrderSeq = q.integer();
        t.tradeId = q.text();
        t.direction = q.character();
        t.offset = q.character();
        t.hedge = q.character();
        t.price = q.real();
        t.volume = q.integer();
        t.tradeDate = q.text();
        t.tradeTime = q.text();
        t.closeProfit = q.real();
        t.commission = q.real();
        t.micros = q.integer64();
        out.push_back(t);
    }
    return out;
}

void Store::save(const Trade &t)
{
    Query q(*this, "INSERT OR REPLACE INTO trades VALUES "
                   "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    q.bind(t.seq).bind(t.tradingDay).bind(t.brokerId).bind(t.investorId).bind(t.userId);
    q.bind(t.instrumentId).bind(t.exchangeId).bind(t.orderRef).bind(t.orderSysId);
    q.bind(t.orderLocalId).bind(t.brokerOrderSeq).bind(t.tradeId).bind(t.direction);
    q.bind(t.offset).bind(t.hedge).bind(t.price).bind(t.volume).bind(t.tradeDate);
    q.bind(t.tradeTime).bind(t.closeProfit).bind(t.commission).bind(t.micros);
    q.run();
}

long long Store::maxTradeSeq() const
{
    Query q(*this, "SELECT COALESCE(MAX(seq), 0) FROM trades");
    return q.next() ? q.integer64() : 0;
}

std::map<std::string, std::map<std::string, std::string>> Store::confirmations() const
{
    std::map<std::string, std::map<std::string, std::string>> out;
    Query q(*this, "SELECT investor_id, trading_day, stamp FROM confirmations");
    while (q.next()) {
        const std::string investor = q.text();
        const std::string day = q.text();
        out[investor][day] = q.text();
    }
    return out;
}

void Store::saveConfirmation(const std::string &investorId, const std::string &tradingDay,
                             const std::string &stamp)
{
    Query(*this, "INSERT OR REPLACE INTO confirmations VALUES (?, ?, ?)")
        .bind(investorId)
        .bind(tradingDay)
        .bind(stamp)
        .run();
}

void Store::saveStatement(const std::string &investorId, const std::string &tradingDay,
                          const std::string &content)
{
    Query q(*this, "INSERT OR REPLACE INTO statements VALUES (?, ?, ?)");
    q.bind(investorId).bind(tradingDay).blob(content);
    q.run();
}

std::optional<std::pair<std::string, std::string>>
Store::statement(const std::string &investorId, const std::string &tradingDay) const
{
    Query q(*this, tradingDay.empty()
                       ? "SELECT trading_day, content FROM statements WHERE investor_id = ? "
                         "ORDER BY trading_day DESC LIMIT 1"
                       : "SELECT trading_day, content FROM statements WHERE investor_id = ? "
                         "AND trading_day = ?");
    q.bind(investorId);
    if (!tradingDay.empty()) {
        q.bind(tradingDay);
    }
    if (q.next()) {
        std::string day = q.text();
        return std::make_pair(day, q.text());
    }
    return std::nullopt;
}

std::map<std::string, int> Store::loginFailures() const
{
    std::map<std::string, int> out;
    Query q(*this, "SELECT investor_id, failures FROM login_failures");
    while (q.next()) {
        const std::string investor = q.text();
        out[investor] = q.integer();
    }
    return out;
}

void Store::saveLoginFailures(const std::string &investorId, int failures)
{
    if (failures == 0) {
        Query(*this, "DELETE FROM login_failures WHERE investor_id = ?").bind(investorId).run();
        return;
    }
    Query(*this, "INSERT OR REPLACE INTO login_failures VALUES (?, ?)")
        .bind(investorId)
        .bind(failures)
        .run();
}

std::vector<InstrumentDay> Store::instrumentDays() const
{
    std::vector<InstrumentDay> out;
    Query q(*this, "SELECT * FROM instrument_days");
    while (q.next()) {
        InstrumentDay d;
        d.instrumentId = q.text();
        d.preSettlement = q.real();
        d.preClose = q.real();
        d.preOpenInterest = q.real();
        out.push_back(d);
    }
    return out;
}

void Store::save(const InstrumentDay &d)
{
    Query(*this, "INSERT OR REPLACE INTO instrument_days VALUES (?, ?, ?, ?)")
        .bind(d.instrumentId)
        .bind(d.preSettlement)
        .bind(d.preClose)
        .bind(d.preOpenInterest)
        .run();
}

} // namespace simfront
