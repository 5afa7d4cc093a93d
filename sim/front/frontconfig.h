#pragma once

#include <string>
#include <vector>

namespace simfront {

// A trading session in exchange time: [start, end) in seconds of the day. One that ends before
// it starts runs past midnight, as a night session into the small hours does.
struct TradingSession
{
    int start = 0;
    int end = 0;

    bool contains(int secondOfDay) const
    {
        return start < end ? secondOfDay >= start && secondOfDay < end
                           : secondOfDay >= start || secondOfDay < end;
    }
};

// One tradable contract as the broker lists it.
struct InstrumentSpec
{
    std::string id;         // InstrumentID, e.g. "rb2705"
    std::string name;       // InstrumentName, UTF-8 (sent as GB2312)
    std::string exchangeId; // SHFE, INE, DCE, CZCE, CFFEX
    std::string productId;
    int deliveryYear = 0;
    int deliveryMonth = 0;
    int volumeMultiple = 1;
    double priceTick = 1.0;
    std::string createDate;
    std::string openDate;
    std::string expireDate;
    std::string startDelivDate;
    std::string endDelivDate;
    char instLifePhase = '1'; // started
    bool isTrading = true;
    char positionType = '2'; // gross
    std::string underlyingInstrId;
    double underlyingMultiple = 1.0;
    double marginRatio = 0.1;          // what the broker charges
    double exchangeMarginRatio = 0.08; // what the exchange charges
    double commissionPerLot = 0.0;     // charged on every open and close
    double preSettlementPrice = 0.0;   // of the first trading day; later days keep their own
    double limitRatio = 0.05;          // price band around the pre-settlement price
    int maxLimitOrderVolume = 500;
    // The product's exchange hours; the exchange calendar trades only in them, and an
    // instrument without any trades around the clock.
    std::vector<TradingSession> sessions;

    // SHFE and INE keep today's and yesterday's positions apart and want a close to say which.
    bool splitsTodayYesterday() const { return exchangeId == "SHFE" || exchangeId == "INE"; }
};

struct InvestorSpec
{
    std::string id;
    std::string name; // UTF-8
    std::string password;
    double initialFunds = 0.0; // the balance an account starts with when it is first created
};

// A terminal the broker has registered: the AppID and AuthCode of ReqAuthenticate.
struct AppSpec
{
    std::string appId;
    std::string authCode;
};

struct FrontConfig
{
    std::string brokerId = "9999";
    std::string brokerName;
    int frontId = 1;
    // When the day's books close, after its last session: the exchange calendar moves to the
    // next trading day then.
    int settlementTime = 17 * 3600;
    // When the fronts serve (exchange calendar only), on weekdays; a window past midnight
    // belongs to the evening it opened, so Friday's night runs into Saturday morning.
    std::vector<TradingSession> serviceHours{{8 * 3600 + 30 * 60, 15 * 3600 + 30 * 60},
                                             {20 * 3600 + 30 * 60, 2 * 3600 + 45 * 60}};
    // Terminals whose authentication succeeds; a login without one is refused only when
    // requireAuthentication is set (or the front runs with --require-auth).
    std::vector<AppSpec> apps;
    bool requireAuthentication = false;
    // Wrong passwords in a row before the account's logins are refused until the next day.
    int loginFailureLimit = 5;
    std::vector<InvestorSpec> investors;
    std::vector<InstrumentSpec> instruments;

    const InstrumentSpec *instrument(const std::string &id) const;
    const InvestorSpec *investor(const std::string &id) const;

    // Parses the JSON configuration; on failure returns false with a readable reason.
    static bool parse(const std::string &json, FrontConfig &out, std::string &error);
    static bool load(const std::string &path, FrontConfig &out, std::string &error);
    // The configuration compiled into the program, so it runs from any working folder.
    static const char *builtInJson();
    static FrontConfig builtIn();
};

} // namespace simfront
