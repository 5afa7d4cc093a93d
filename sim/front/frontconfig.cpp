#include "frontconfig.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

namespace simfront {

namespace {

const char kBuiltIn[] = R"json({
  "brokerId": "9999",
  "brokerName": "维摩拉模拟期货",
  "frontId": 1,
  "settlementTime": "17:00",
  "serviceHours": [["08:30", "15:30"], ["20:30", "02:45"]],
  "apps": [{"appId": "velmora_demo_1.0", "authCode": "0000000000000000"}],
  "requireAuthentication": false,
  "loginFailureLimit": 5,
  "investors": [
    {"id": "000001", "name": "演示账户一", "password": "123456", "initialFunds": 10000000},
    {"id": "000002", "name": "演示账户二", "password": "123456", "initialFunds": 10000000}
  ],
  "instruments": [
    {"id": "rb2705", "name": "螺纹钢2705", "exchangeId": "SHFE", "productId": "rb",
     "deliveryYear": 2027, "deliveryMonth": 5, "volumeMultiple": 10, "priceTick": 1,
     "createDate": "20260415", "openDate": "20260518", "expireDate": "20270517",
     "startDelivDate": "20270518", "endDelivDate": "20270521",
     "instLifePhase": "1", "isTrading": true, "positionType": "2",
     "underlyingInstrId": "rb", "underlyingMultiple": 1,
     "marginRatio": 0.10, "exchangeMarginRatio": 0.08, "commissionPerLot": 3,
     "preSettlementPrice": 3500, "limitRatio": 0.07,
     "sessions": [["21:00", "23:00"], ["09:00", "10:15"], ["10:30", "11:30"], ["13:30", "15:00"]]},
    {"id": "sc2706", "name": "原油2706", "exchangeId": "INE", "productId": "sc",
     "deliveryYear": 2027, "deliveryMonth": 6, "volumeMultiple": 1000, "priceTick": 0.1,
     "createDate": "20250612", "openDate": "20250615", "expireDate": "20270531",
     "startDelivDate": "20270601", "endDelivDate": "20270607",
     "instLifePhase": "1", "isTrading": true, "positionType": "2",
     "underlyingInstrId": "sc", "underlyingMultiple": 1,
     "marginRatio": 0.12, "exchangeMarginRatio": 0.10, "commissionPerLot": 20,
     "preSettlementPrice": 560.0, "limitRatio": 0.08,
     "sessions": [["21:00", "02:30"], ["09:00", "10:15"], ["10:30", "11:30"], ["13:30", "15:00"]]},
    {"id": "m2705", "name": "豆粕2705", "exchangeId": "DCE", "productId": "m",
     "deliveryYear": 2027, "deliveryMonth": 5, "volumeMultiple": 10, "priceTick": 1,
     "createDate": "20260514", "openDate": "20260515", "expireDate": "20270514",
     "startDelivDate": "20270517", "endDelivDate": "20270521",
     "instLifePhase": "1", "isTrading": true, "positionType": "2",
     "underlyingInstrId": "m", "underlyingMultiple": 1,
     "marginRatio": 0.09, "exchangeMarginRatio": 0.07, "commissionPerLot": 1.5,
     "preSettlementPrice": 3000, "limitRatio": 0.06,
     "sessions": [["21:00", "23:00"], ["09:00", "10:15"], ["10:30", "11:30"], ["13:30", "15:00"]]},
    {"id": "SR705", "name": "白糖705", "exchangeId": "CZCE", "productId": "SR",
     "deliveryYear": 2027, "deliveryMonth": 5, "volumeMultiple": 10, "priceTick": 1,
     "createDate": "20260515", "openDate": "20260518", "expireDate": "20270514",
     "startDelivDate": "20270517", "endDelivDate": "20270521",
     "instLifePhase": "1", "isTrading": true, "positionType": "2",
     "underlyingInstrId": "SR", "underlyingMultiple": 1,
     "marginRatio": 0.08, "exchangeMarginRatio": 0.07, "commissionPerLot": 3,
     "preSettlementPrice": 6000, "limitRatio": 0.05,
     "sessions": [["21:00", "23:00"], ["09:00", "10:15"], ["10:30", "11:30"], ["13:30", "15:00"]]},
    {"id": "IF2706", "name": "沪深300指数2706", "exchangeId": "CFFEX", "productId": "IF",
     "deliveryYear": 2027, "deliveryMonth": 6, "volumeMultiple": 300, "priceTick": 0.2,
     "createDate": "20261012", "openDate": "20261019", "expireDate": "20270618",
     "startDelivDate": "20270618", "endDelivDate": "20270618",
     "instLifePhase": "1", "isTrading": true, "positionType": "2",
     "underlyingInstrId": "SH000300", "underlyingMultiple": 1,
     "marginRatio": 0.14, "exchangeMarginRatio": 0.12, "commissionPerLot": 25,
     "preSettlementPrice": 3900.0, "limitRatio": 0.10,
     "sessions": [["09:30", "11:30"], ["13:00", "15:00"]]}
  ]
})json";

using nlohmann::json;

// Reads an optional member, keeping the default when it is absent; a member of the wrong type
// is an error rather than a silent default.
template <typename T> void take(const json &object, const char *key, T &target)
{
    auto it = object.find(key);
    if (it != object.end() && !it->is_null()) {
        target = it->get<T>();
    }
}

void takeChar(const json &object, const char *key, char &target)
{
    std::string text;
    take(object, key, text);
    if (text.size() == 1) {
        target = text[0];
    } else if (!text.empty()) {
        throw std::runtime_error(std::string(key) + " must be one character");
    }
}

bool validDate(const std::string &d)
{
    if (d.empty()) {
        return true;
    }
    if (d.size() != 8) {
        return false;
    }
    for (char c : d) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// "HH:MM" or "HH:MM:SS" as seconds of the day.
int timeOfDay(const std::string &text, const std::string &what)
{
    int h = -1, m = -1, sec = 0;
    char tail = 0;
    const int n = std::sscanf(text.c_str(), "%2d:%2d:%2d%c", &h, &m, &sec, &tail);
    const bool shapeOk = (n == 2 && text.size() == 5) || (n == 3 && text.size() == 8);
    if (!shapeOk || h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 || sec > 59) {
        throw std::runtime_error(what + " must be HH:MM, not '" + text + "'");
    }
    return h * 3600 + m * 60 + sec;
}

// A list of ["HH:MM", "HH:MM"] windows under `key`; `what` names one in errors.
std::vector<TradingSession> windowsOf(const json &object, const char *key, const std::string &what)
{
    std::vector<TradingSession> out;
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        return out;
    }
    for (const json &pair : *it) {
        if (!pair.is_array() || pair.size() != 2) {
            throw std::runtime_error(what + " is [\"HH:MM\", \"HH:MM\"]");
        }
        TradingSession s{timeOfDay(pair[0].get<std::string>(), what),
                         timeOfDay(pair[1].get<std::string>(), what)};
        if (s.start == s.end) {
            throw std::runtime_error(what + " must not start when it ends");
        }
        out.push_back(s);
    }
    return out;
}

void checkId(const std::string &id, std::size_t maxLen, const char *what)
{
    if (id.empty() || id.size() > maxLen) {
        throw std::runtime_error(std::string(what) + " '" + id + "' must have 1 to " +
                                 std::to_string(maxLen) + " characters");
    }
}

} // namespace

const InstrumentSpec *FrontConfig::instrument(const std::string &id) const
{
    for (const auto &i : instruments) {
        if (i.id == id) {
            return &i;
        }
    }
    return nullptr;
}

const InvestorSpec *FrontConfig::investor(const std::string &id) const
{
    for (const auto &i : investors) {
        if (i.id == id) {
            return &i;
        }
    }
    return nullptr;
}

bool FrontConfig::parse(const std::string &text, FrontConfig &out, std::string &error)
{
    try {
        const json root = json::parse(text);
        if (!root.is_object()) {
            error = "the configuration must be a JSON object";
            return false;
        }
        FrontConfig cfg;
        take(root, "brokerId", cfg.brokerId);
        take(root, "brokerName", cfg.brokerName);
        take(root, "frontId", cfg.frontId);
        std::string settlement;
        take(root, "settlementTime", settlement);
        if (!settlement.empty()) {
            cfg.settlementTime = timeOfDay(settlement, "settlementTime");
        }
        checkId(cfg.brokerId, 10, "brokerId");
        if (root.contains("serviceHours")) {
            cfg.serviceHours = windowsOf(root, "serviceHours", "a service window");
            if (cfg.serviceHours.empty()) {
                throw std::runtime_error("serviceHours needs at least one window");
            }
        }
        for (const TradingSession &window : cfg.serviceHours) {
            // The day may only change while the fronts are closed.
            if (window.contains(cfg.settlementTime)) {
                throw std::runtime_error("settlementTime falls inside a service window");
            }
        }
        if (auto apps = root.find("apps"); apps != root.end() && !apps->is_null()) {
            for (const json &j : *apps) {
                AppSpec app;
                take(j, "appId", app.appId);
                take(j, "authCode", app.authCode);
                checkId(app.appId, 32, "appId");
                checkId(app.authCode, 16, "authCode");
                cfg.apps.push_back(app);
            }
        }
        take(root, "requireAuthentication", cfg.requireAuthentication);
        take(root, "loginFailureLimit", cfg.loginFailureLimit);
        if (cfg.loginFailureLimit < 1) {
            throw std::runtime_error("loginFailureLimit must be at least 1");
        }

        std::set<std::string> seen;
        for (const json &j : root.at("investors")) {
            InvestorSpec inv;
            take(j, "id", inv.id);
            take(j, "name", inv.name);
            take(j, "password", inv.password);
            take(j, "initialFunds", inv.initialFunds);
            checkId(inv.id, 12, "investor id");
            if (inv.password.size() > 40 || inv.initialFunds < 0) {
                throw std::runtime_error("investor " + inv.id + ": bad password or funds");
            }
            if (!seen.insert(inv.id).second) {
                throw std::runtime_error("investor " + inv.id + " is listed twice");
            }
            cfg.investors.push_back(inv);
        }

        seen.clear();
        for (const json &j : root.at("instruments")) {
            InstrumentSpec s;
            take(j, "id", s.id);
            take(j, "name", s.name);
            take(j, "exchangeId", s.exchangeId);
            take(j, "productId", s.productId);
            take(j, "deliveryYear", s.deliveryYear);
            take(j, "deliveryMonth", s.deliveryMonth);
            take(j, "volumeMultiple", s.volumeMultiple);
            take(j, "priceTick", s.priceTick);
            take(j, "createDate", s.createDate);
            take(j, "openDate", s.openDate);
            take(j, "expireDate", s.expireDate);
            take(j, "startDelivDate", s.startDelivDate);
            take(j, "endDelivDate", s.endDelivDate);
            takeChar(j, "instLifePhase", s.instLifePhase);
            take(j, "isTrading", s.isTrading);
            takeChar(j, "positionType", s.positionType);
            take(j, "underlyingInstrId", s.underlyingInstrId);
            take(j, "underlyingMultiple", s.underlyingMultiple);
            take(j, "marginRatio", s.marginRatio);
            s.exchangeMarginRatio = s.marginRatio;
            take(j, "exchangeMarginRatio", s.exchangeMarginRatio);
            take(j, "commissionPerLot", s.commissionPerLot);
            take(j, "preSettlementPrice", s.preSettlementPrice);
            take(j, "limitRatio", s.limitRatio);
            take(j, "maxLimitOrderVolume", s.maxLimitOrderVolume);
            checkId(s.id, 30, "instrument id");
            s.sessions = windowsOf(j, "sessions", "instrument " + s.id + ": a session");
            for (const TradingSession &session : s.sessions) {
                // The day's books close between its sessions, never during one.
                if (session.contains(cfg.settlementTime)) {
                    throw std::runtime_error("instrument " + s.id +
                                             ": settlementTime falls inside a session");
                }
            }
            checkId(s.exchangeId, 8, "exchangeId");
            if (s.volumeMultiple <= 0 || !(s.priceTick > 0) || !(s.preSettlementPrice > 0) ||
                !(s.limitRatio > 0 && s.limitRatio < 1) || !(s.marginRatio > 0) ||
                s.exchangeMarginRatio < 0 || s.commissionPerLot < 0 || s.maxLimitOrderVolume <= 0) {
                throw std::runtime_error("instrument " + s.id +
                                         ": volumeMultiple, priceTick, preSettlementPrice, "
                                         "limitRatio, margin and commission must be positive");
            }
            if (!validDate(s.createDate) || !validDate(s.openDate) || !validDate(s.expireDate) ||
                !validDate(s.startDelivDate) || !validDate(s.endDelivDate)) {
                throw std::runtime_error("instrument " + s.id + ": dates are YYYYMMDD");
            }
            // Prices live on the tick grid; a pre-settlement price off it would make every
            // derived limit price off it too.
            s.preSettlementPrice = std::round(s.preSettlementPrice / s.priceTick) * s.priceTick;
            if (!seen.insert(s.id).second) {
                throw std::runtime_error("instrument " + s.id + " is listed twice");
            }
            cfg.instruments.push_back(s);
        }
        if (cfg.investors.empty() || cfg.instruments.empty()) {
            error = "the configuration needs at least one investor and one instrument";
            return false;
        }
        out = std::move(cfg);
        return true;
    } catch (const std::exception &e) {
        error = e.what();
        return false;
    }
}

bool FrontConfig::load(const std::string &path, FrontConfig &out, std::string &error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (!parse(text.str(), out, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

const char *FrontConfig::builtInJson()
{
    return kBuiltIn;
}

FrontConfig FrontConfig::builtIn()
{
    FrontConfig cfg;
    std::string error;
    parse(kBuiltIn, cfg, error);
    return cfg;
}

} // namespace simfront
