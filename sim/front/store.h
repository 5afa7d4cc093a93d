#pragma once

#include "ledger.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace simfront {

// The broker's books in SQLite: accounts, positions, orders, trades, confirmations, statements,
// the login failure counts and the trading day. Every change of one request is written in one
// transaction, so a crash leaves either all of it or none. An empty folder name keeps the books in
// memory. A folder is held by one store at a time; its checkpoints run on a thread of their own, so
// no commit ever waits for one.
class Store
{
public:
    Store();
    ~Store();
    Store(const Store &) = delete;
    Store &operator=(const Store &) = delete;

    bool open(const std::string &folder, std::string &error);
    void close();
    // The last failure of a write, empty when all went well; writes report it on stderr too.
    const std::string &lastError() const { return error; }

    void begin();
    void commit();

    std::optional<std::string> meta(const std::string &key) const;
    void setMeta(const std::string &key, const std::string &value);

    std::vector<Account> accounts() const;
    void save(const Account &account);

    std::vector<Position> positions() const;
    void save(const Position &position);
    void erase(const Position &position);

    // The day's orders and trades; afterSeq skips the earlier days' rows by their key, so no
    // index has to be kept up to date on every order.
    std::vector<Order> orders(const std::string &tradingDay, long long afterSeq = 0) const;
    void save(const Order &order);
    long long maxOrderSeq() const;

    std::vector<Trade> trades(const std::string &tradingDay, long long afterSeq = 0) const;
    void save(const Trade &trade);
    long long maxTradeSeq() const;

    // investor -> confirmed trading days
    std::map<std::string, std::map<std::string, std::string>> confirmations() const;
    void saveConfirmation(const std::string &investorId, const std::string &tradingDay,
                          const std::string &stamp);

    void saveStatement(const std::string &investorId, const std::string &tradingDay,
                       const std::string &content);
    // The statement of the given day, or of the latest day when tradingDay is empty.
    std::optional<std::pair<std::string, std::string>>
    statement(const std::string &investorId, const std::string &tradingDay) const;

    // Wrong passwords in a row per investor; an account without a row has none.
    std::map<std::string, int> loginFailures() const;
    void saveLoginFailures(const std::string &investorId, int failures);

    std::vector<InstrumentDay> instrumentDays() const;
    void save(const InstrumentDay &day);

private:
    class Query;
    class Checkpointer;
    bool lockFolder(const std::string &folder, std::string &err);
    bool exec(const char *sql);
    bool addOrdersMinVolume();
    void fail(const std::string &what) const;
    sqlite3_stmt *prepared(const char *sql) const;

    sqlite3 *db = nullptr;
    mutable std::map<std::string, sqlite3_stmt *> statements;
    mutable std::string error;
    int depth = 0;
    int folderLock = -1;
    std::unique_ptr<Checkpointer> checkpointer;
};

} // namespace simfront
