#pragma once

#include "frontconfig.h"
#include "ledger.h"
#include "quotebook.h"

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace simfront {

class Store;

// An error as the front answers it: ErrorID and a UTF-8 text (GB2312 on the wire).
struct RspError
{
    int id = 0;
    std::string msg;
    explicit operator bool() const { return id != 0; }
};

// The error numbers the front uses, each in the meaning of the vendor's error table. What an
// exchange refuses has no number: it reaches the client as a cancelled order report.
namespace errors {
constexpr int InvalidLogin = 3;
constexpr int DuplicateLogin = 5;
constexpr int NotLoggedIn = 6;
constexpr int NoPrivilege = 9;
constexpr int UserNotFound = 11;
constexpr int BadField = 15;
constexpr int InstrumentNotFound = 16;
constexpr int InstrumentNotTrading = 17;
constexpr int DuplicateOrderRef = 22;
constexpr int OverClosePosition = 30;
constexpr int InsufficientMoney = 31;
constexpr int SettlementNotConfirmed = 42;
constexpr int OverCloseTodayPosition = 50;
constexpr int OverCloseYesterdayPosition = 51;
constexpr int AuthFailed = 63;
constexpr int NotAuthenticated = 64;
constexpr int LoginForbidden = 75;
RspError make(int id);
} // namespace errors

// The fields of an order insert the engine looks at.
struct OrderRequest
{
    std::string brokerId;
    std::string investorId;
    std::string userId;
    std::string instrumentId;
    std::string orderRef;
    char priceType = '2';
    char direction = '0';
    char offset = '0';
    char hedge = '1';
    double limitPrice = 0;
    int volume = 0;
    char timeCondition = '1';
    char volumeCondition = '3';
    int minVolume = 1;
    char contingentCondition = '1';
    char forceCloseReason = '0';
    int requestId = 0;
};

// One position record as the position query reports it.
struct PositionRecord
{
    std::string instrumentId;
    std::string exchangeId;
    char direction = '2';
    char positionDate = '1'; // '1' today (or the whole position), '2' earlier days
    int ydPosition = 0;
    int position = 0;
    int todayPosition = 0;
    int openVolume = 0;
    int closeVolume = 0;
    double openAmount = 0;
    double closeAmount = 0;
    double positionCost = 0;
    double openCost = 0;
    double closeProfit = 0;
    double positionProfit = 0;
    double useMargin = 0;
    double exchangeMargin = 0;
    double commission = 0;
    double preSettlementPrice = 0;
    double settlementPrice = 0;
    double marginRatio = 0;
};

struct AccountRecord
{
    Account account;
    double currMargin = 0;
    double exchangeMargin = 0;
    double positionProfit = 0;
    double balance = 0;
    double available = 0;
};

// One item of an investor's private stream: an order report or a trade, with its number in the
// investor's stream of the trading day (from 1).
struct FlowItem
{
    int sequence = 0;
    std::optional<Order> order;
    std::optional<Trade> trade;
};

// What an order insert produced. A broker refusal stops at `brokerError`; otherwise `stream`
// holds the order's reports and trades as they go out. An exchange refusal is only reports: the
// broker's "submitted" one and the cancelled one whose StatusMsg (`exchangeRefusal` too) says why.
struct InsertResult
{
    RspError brokerError;
    std::string exchangeRefusal;
    std::vector<FlowItem> stream;

    std::vector<Order> reports() const;
    std::vector<Trade> trades() const;
};

// When each instrument's market takes orders, and the first trading day of a fresh store.
// Members left empty: always open, and the day Calendar::firstTradingDay gives.
struct MarketHours
{
    std::function<bool(const InstrumentSpec &)> isOpen;
    std::function<std::string()> firstTradingDay;
};

// The broker's back office: accounts, positions, margin and funds, orders sent to the exchange
// (matched by Matcher against the quote book), confirmations and the end-of-day roll.
// Single-threaded; the caller serialises.
class Engine
{
public:
    Engine(const FrontConfig &config, Store &store, QuoteBook &quotes);

    // Before load.
    void setMarketHours(MarketHours hours) { marketHours = std::move(hours); }

    // Reads the books, creating what a fresh store lacks (accounts, the first trading day and
    // the statement of the day before it).
    bool load(std::string &error);

    const FrontConfig &config() const { return cfg; }
    const std::string &tradingDay() const { return day; }

    // Checks a login and counts wrong passwords: after config().loginFailureLimit of them in a
    // row the account's logins are refused until the next trading day or unlock().
    RspError login(const std::string &brokerId, const std::string &userId,
                   const std::string &password);
    // A terminal's authentication: the broker's id and a registered AppID with its AuthCode.
    RspError authenticate(const std::string &brokerId, const std::string &appId,
                          const std::string &authCode) const;
    int loginFailures(const std::string &investorId) const;
    bool loginLocked(const std::string &investorId) const;
    // Clears the failure count of one account, or of every account when investorId is empty;
    // false for an investor the broker does not have.
    bool unlock(const std::string &investorId);
    // Session numbers keep growing across restarts, so stored orders never clash with a new
    // session's order references.
    int newSessionId();
    // The highest numeric OrderRef the investor used today.
    long long maxOrderRef(const std::string &investorId) const;

    InsertResult insertOrder(const OrderRequest &request, int frontId, int sessionId);

    bool isConfirmed(const std::string &investorId) const;
    // Records the confirmation of today's statement; returns the stamp "YYYYMMDD HH:MM:SS".
    std::string confirm(const std::string &investorId);

    std::vector<const InstrumentSpec *> instruments(const std::string &instrumentId,
                                                    const std::string &exchangeId) const;
    std::vector<PositionRecord> positions(const std::string &investorId,
                                          const std::string &instrumentId) const;
    AccountRecord account(const std::string &investorId) const;
    // GB2312 statement text and its trading day; the latest one when tradingDay is empty.
    std::optional<std::pair<std::string, std::string>>
    statement(const std::string &investorId, const std::string &tradingDay) const;
    // Today's order reports and trades of the investor, numbered, in the order they first went
    // out; replays send exactly these.
    std::vector<FlowItem> privateFlow(const std::string &investorId) const;

    const std::deque<Order> &orders() const { return todayOrders; }
    const std::deque<Trade> &trades() const { return todayTrades; }
    const std::map<std::string, Account> &accounts() const { return accountBook; }

    // Ends the trading day at the current last prices: writes each investor's statement, moves
    // today's positions into yesterday's, carries the balance, and opens the next weekday.
    std::string rollTradingDay();

private:
    RspError checkOrder(const OrderRequest &r, const InstrumentSpec *&spec) const;
    RspError checkClose(const OrderRequest &r, const InstrumentSpec &spec) const;
    RspError checkFunds(const OrderRequest &r, const InstrumentSpec &spec) const;
    // The exchange's reason for refusing the order, empty when it takes it.
    std::string checkExchange(const OrderRequest &r, const InstrumentSpec &spec) const;
    RspError checkOrderRef(OrderRequest &r, int frontId, int sessionId);
    void countLoginFailure(const std::string &investorId, int failures);
    Trade fill(const InstrumentSpec &spec, Order &order, double price, int lots);
    Position &position(const std::string &investorId, const std::string &instrumentId,
                       char direction);
    double lastPrice(const InstrumentSpec &spec) const;
    std::string buildStatement(const std::string &investorId, const std::string &tradingDay,
                               const std::deque<Trade> &trades) const;
    void startDayQuotes();
    void countFlows();

    const FrontConfig &cfg;
    Store &store;
    QuoteBook &quotes;
    std::string day;
    std::map<std::string, Account> accountBook;
    // investor -> instrument -> direction
    std::map<std::string, std::map<std::string, std::map<char, Position>>> positionBook;
    // Deques: a day's books grow by the thousand, and a vector's regrowth would copy them all
    // inside some order's answer.
    std::deque<Order> todayOrders;
    std::deque<Trade> todayTrades;
    // The last OrderRef of each (FrontID, SessionID), right-aligned; a new one must be greater.
    std::map<std::pair<int, int>, std::string> lastOrderRefs;
    // OrderSysID and TradeID are numbered per exchange and trading day, as exchanges do.
    std::map<std::string, long long> orderSysIds;
    std::map<std::string, long long> tradeIds;
    std::map<std::string, int> failedLogins; // wrong passwords in a row, per investor
    std::map<std::string, std::map<std::string, std::string>> confirmed;
    std::map<std::string, InstrumentDay> instrumentDays;
    std::map<std::string, int> flowLength; // items in each investor's private stream today
    MarketHours marketHours;
    long long orderSeq = 0;
    long long tradeSeq = 0;
    int sessionSeq = 0;
};

} // namespace simfront
