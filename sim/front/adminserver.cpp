#include "adminserver.h"

#include "exchangeclock.h"
#include "gb2312.h"
#include "simfront.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <chrono>

namespace simfront {

using nlohmann::json;

namespace {

void reply(httplib::Response &res, const json &body, int status = 200)
{
    res.status = status;
    res.set_content(body.dump(), "application/json; charset=utf-8");
}

void fail(httplib::Response &res, int status, const std::string &message)
{
    reply(res, json{{"error", message}}, status);
}

// The request's JSON body, or an empty object when there is none; false for malformed JSON.
bool body(const httplib::Request &req, json &out)
{
    if (req.body.empty()) {
        out = json::object();
        return true;
    }
    out = json::parse(req.body, nullptr, false);
    return !out.is_discarded() && out.is_object();
}

std::string text(char c)
{
    return std::string(1, c);
}

json toJson(const Order &o)
{
    return {{"seq", o.seq},
            {"tradingDay", o.tradingDay},
            {"investorId", o.investorId},
            {"instrumentId", o.instrumentId},
            {"exchangeId", o.exchangeId},
            {"frontId", o.frontId},
            {"sessionId", o.sessionId},
            {"orderRef", o.orderRef},
            {"requestId", o.requestId},
            {"orderSysId", o.orderSysId},
            {"direction", text(o.direction)},
            {"offsetFlag", text(o.offset)},
            {"limitPrice", o.limitPrice},
            {"volume", o.volume},
            {"volumeTraded", o.volumeTraded},
            {"status", text(o.status)},
            {"submitStatus", text(o.submitStatus)},
            {"statusMsg", o.statusMsg},
            {"insertTime", o.insertTime},
            {"micros", o.micros}};
}

json toJson(const Trade &t)
{
    return {{"seq", t.seq},
            {"tradingDay", t.tradingDay},
            {"investorId", t.investorId},
            {"instrumentId", t.instrumentId},
            {"tradeId", t.tradeId},
            {"orderRef", t.orderRef},
            {"orderSysId", t.orderSysId},
            {"direction", text(t.direction)},
            {"offsetFlag", text(t.offset)},
            {"price", t.price},
            {"volume", t.volume},
            {"tradeDate", t.tradeDate},
            {"tradeTime", t.tradeTime},
            {"closeProfit", t.closeProfit},
            {"commission", t.commission},
            {"micros", t.micros}};
}

json toJson(const Side &side)
{
    json out = json::array();
    for (const Level &l : side) {
        if (l.volume > 0) {
            out.push_back({l.price, l.volume});
        }
    }
    return out;
}

// The best price of a side, null when the side is empty.
json best(const Side &side)
{
    return side[0].volume > 0 ? json(side[0].price) : json(nullptr);
}

// A side given as [[price, volume], ...], where a volume may also be the list of the orders
// resting at that price, [price, [v1, v2, ...]]; false when it is not that shape.
bool levelsOf(const json &in, std::vector<Level> &out)
{
    if (!in.is_array()) {
        return false;
    }
    for (const json &pair : in) {
        if (!pair.is_array() || pair.size() != 2 || !pair[0].is_number()) {
            return false;
        }
        Level level{pair[0].get<double>(), 0, {}};
        if (pair[1].is_number_integer()) {
            level.volume = pair[1].get<int>();
        } else if (pair[1].is_array() && !pair[1].empty()) {
            for (const json &piece : pair[1]) {
                if (!piece.is_number_integer()) {
                    return false;
                }
                level.orders.push_back(piece.get<int>());
                level.volume += level.orders.back();
            }
        } else {
            return false;
        }
        out.push_back(level);
    }
    return true;
}

json toJson(const Quote &q)
{
    return {{"instrument", q.instrumentId},
            {"exchangeId", q.exchangeId},
            {"tradingDay", q.tradingDay},
            {"last", q.last},
            {"bid", best(q.bids)},
            {"bidVolume", q.bids[0].volume},
            {"ask", best(q.asks)},
            {"askVolume", q.asks[0].volume},
            {"bids", toJson(q.bids)},
            {"asks", toJson(q.asks)},
            {"upperLimit", q.upperLimit},
            {"lowerLimit", q.lowerLimit},
            {"preSettlement", q.preSettlement},
            {"volume", q.volume},
            {"openInterest", q.openInterest},
            {"updateTime", q.updateTime}};
}

json toJson(const PositionRecord &p)
{
    return {{"instrumentId", p.instrumentId},
            {"exchangeId", p.exchangeId},
            {"posiDirection", text(p.direction)},
            {"positionDate", text(p.positionDate)},
            {"position", p.position},
            {"todayPosition", p.todayPosition},
            {"ydPosition", p.ydPosition},
            {"openVolume", p.openVolume},
            {"closeVolume", p.closeVolume},
            {"positionCost", p.positionCost},
            {"closeProfit", p.closeProfit},
            {"positionProfit", p.positionProfit},
            {"useMargin", p.useMargin}};
}

} // namespace

AdminServer::AdminServer(SimFront &front)
    : front(front), server(std::make_unique<httplib::Server>())
{
    server->set_tcp_nodelay(true);
    routes();
}

AdminServer::~AdminServer()
{
    stop();
}

bool AdminServer::listen(const std::string &h, unsigned short p, std::string &error)
{
    host = h;
    const std::string bindHost = h == "localhost" ? "127.0.0.1" : h;
    if (p == 0) {
        port = server->bind_to_any_port(bindHost);
    } else {
        port = server->bind_to_port(bindHost, p) ? p : -1;
    }
    if (port <= 0) {
        error = "admin: cannot listen on " + h + ":" + std::to_string(p);
        return false;
    }
    return true;
}

void AdminServer::start()
{
    thread = std::thread([this] { server->listen_after_bind(); });
    // stop() only reaches a server that is already in its loop.
    for (int i = 0; i < 500 && !server->is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void AdminServer::stop()
{
    if (thread.joinable()) {
        server->stop();
        thread.join();
    }
}

std::string AdminServer::address() const
{
    return "http://" + host + ":" + std::to_string(port);
}

void AdminServer::routes()
{
    server->Get("/status", [this](const httplib::Request &, httplib::Response &res) {
        json out;
        front.runOnIo([&] {
            out = {{"tradingDay", front.engine().tradingDay()},
                   {"clock", ExchangeClock::instance().now().text()},
                   {"calendar", front.calendar().name()},
                   {"open", front.openInstruments()},
                   {"serving", front.serving()},
                   {"quotesPaused", front.quotesPaused()},
                   {"tdConnections", front.tradeFront().connectionCount()},
                   {"mdConnections", front.marketFront().connectionCount()},
                   {"refusing", front.tradeFront().refusing()},
                   {"td", front.tdAddress()},
                   {"md", front.mdAddress()}};
        });
        reply(res, out);
    });

    server->Post("/clock", [this](const httplib::Request &req, httplib::Response &res) {
        json in;
        if (!body(req, in) || !in.contains("time") || !in["time"].is_string()) {
            return fail(res, 400, "expected {\"time\": \"YYYY-MM-DD HH:MM:SS\"}");
        }
        std::string error;
        json out;
        front.runOnIo([&] {
            if (front.setClock(in["time"].get<std::string>(), error)) {
                out = {{"clock", ExchangeClock::instance().now().text()},
                       {"tradingDay", front.engine().tradingDay()},
                       {"open", front.openInstruments()},
                       {"serving", front.serving()}};
            }
        });
        if (!error.empty()) {
            return fail(res, 400, error);
        }
        reply(res, out);
    });

    server->Post("/drop", [this](const httplib::Request &req, httplib::Response &res) {
        json in;
        if (!body(req, in)) {
            return fail(res, 400, "the body must be a JSON object");
        }
        int seconds = 0;
        if (req.has_param("refuseSeconds")) {
            seconds = std::atoi(req.get_param_value("refuseSeconds").c_str());
        } else if (in.contains("refuseSeconds") && in["refuseSeconds"].is_number_integer()) {
            seconds = in["refuseSeconds"].get<int>();
        }
        if (seconds < 0 || seconds > 3600) {
            return fail(res, 400, "refuseSeconds must be from 0 to 3600");
        }
        std::size_t dropped = 0;
        front.runOnIo([&] {
            dropped = front.tradeFront().connectionCount() + front.marketFront().connectionCount();
            front.tradeFront().dropAll(seconds);
            front.marketFront().dropAll(seconds);
        });
        reply(res, {{"dropped", dropped}, {"refuseSeconds", seconds}});
    });

    server->Post("/roll", [this](const httplib::Request &, httplib::Response &res) {
        std::string day;
        front.runOnIo([&] { day = front.rollTradingDay(); });
        reply(res, {{"tradingDay", day}});
    });

    server->Post("/quotes/pause", [this](const httplib::Request &, httplib::Response &res) {
        front.runOnIo([&] { front.pauseQuotes(true); });
        reply(res, {{"quotesPaused", true}});
    });
    server->Post("/quotes/resume", [this](const httplib::Request &, httplib::Response &res) {
        front.runOnIo([&] { front.pauseQuotes(false); });
        reply(res, {{"quotesPaused", false}});
    });

    server->Get("/quotes", [this](const httplib::Request &, httplib::Response &res) {
        json out = json::array();
        front.runOnIo([&] {
            for (const auto &[id, q] : front.quotes().all()) {
                out.push_back(toJson(q));
            }
        });
        reply(res, out);
    });

    server->Post("/quote", [this](const httplib::Request &req, httplib::Response &res) {
        json in;
        if (!body(req, in) || !in.contains("instrument") || !in["instrument"].is_string()) {
            return fail(res, 400, "expected {\"instrument\": ..., \"last\"/\"bid\"/\"ask\"...}");
        }
        QuoteUpdate u;
        u.instrumentId = in["instrument"].get<std::string>();
        try {
            auto price = [&](const char *key, std::optional<double> &target) {
                if (in.contains(key)) {
                    target = in[key].get<double>();
                }
            };
            auto volume = [&](const char *key, std::optional<int> &target) {
                if (in.contains(key)) {
                    target = in[key].get<int>();
                }
            };
            price("last", u.last);
            price("bid", u.bid);
            price("ask", u.ask);
            volume("bidVolume", u.bidVolume);
            volume("askVolume", u.askVolume);
            volume("volume", u.volume);
        } catch (const json::exception &) {
            return fail(res, 400, "prices and volumes must be numbers");
        }
        for (const auto &[key, target] : {std::pair{"bids", &u.bids}, std::pair{"asks", &u.asks}}) {
            if (in.contains(key)) {
                std::vector<Level> levels;
                if (!levelsOf(in[key], levels)) {
                    return fail(res, 400,
                                std::string(key) +
                                    " is a list of [price, volume] or [price, [volume, ...]], "
                                    "best first");
                }
                *target = levels;
            }
        }
        std::string error;
        json out;
        front.runOnIo([&] {
            if (front.quotes().apply(u, error)) {
                front.publish(u.instrumentId);
                out = toJson(*front.quotes().find(u.instrumentId));
            }
        });
        if (!error.empty()) {
            return fail(res, 400, error);
        }
        reply(res, out);
    });

    server->Post("/fault", [this](const httplib::Request &req, httplib::Response &res) {
        json in;
        if (!body(req, in) || !in.contains("request") || !in["request"].is_string() ||
            !in.contains("errorId") || !in["errorId"].is_number_integer() ||
            in["errorId"].get<int>() == 0) {
            return fail(res, 400,
                        "expected {\"front\": \"td\"|\"md\", \"request\": \"ReqOrderInsert\", "
                        "\"errorId\": non-zero, \"errorMsg\": \"...\"}");
        }
        const std::string frontName = in.value("front", std::string("td"));
        if (frontName != "td" && frontName != "md") {
            return fail(res, 400, "front is \"td\" or \"md\"");
        }
        RspError e{in["errorId"].get<int>(), in.value("errorMsg", std::string("CTP:模拟错误"))};
        const std::string key = frontName + ":" + in["request"].get<std::string>();
        front.runOnIo([&] { front.journal().addFault(key, e); });
        reply(res, {{"queued", key}, {"errorId", e.id}, {"errorMsg", e.msg}});
    });

    server->Get("/faults", [this](const httplib::Request &, httplib::Response &res) {
        json out = json::object();
        front.runOnIo([&] {
            for (const auto &[key, list] : front.journal().faults()) {
                json items = json::array();
                for (const RspError &e : list) {
                    items.push_back({{"errorId", e.id}, {"errorMsg", e.msg}});
                }
                out[key] = items;
            }
        });
        reply(res, out);
    });

    server->Get("/requests", [this](const httplib::Request &req, httplib::Response &res) {
        const std::string type = req.get_param_value("type");
        const std::string frontName = req.get_param_value("front");
        json out = json::array();
        front.runOnIo([&] {
            for (const auto &e : front.journal().entries()) {
                if ((!type.empty() && e.type != type) ||
                    (!frontName.empty() && e.front != frontName)) {
                    continue;
                }
                out.push_back({{"micros", e.micros},
                               {"front", e.front},
                               {"sessionId", e.sessionId},
                               {"type", e.type},
                               {"requestId", e.requestId},
                               {"investorId", e.investorId}});
            }
        });
        reply(res, out);
    });
    server->Delete("/requests", [this](const httplib::Request &, httplib::Response &res) {
        front.runOnIo([&] { front.journal().clear(); });
        reply(res, {{"cleared", true}});
    });

    server->Post("/unlock", [this](const httplib::Request &req, httplib::Response &res) {
        json in;
        if (!body(req, in) || (in.contains("investor") && !in["investor"].is_string())) {
            return fail(res, 400, "expected {\"investor\": \"...\"} or an empty body");
        }
        const std::string investor = in.value("investor", std::string());
        bool known = false;
        front.runOnIo([&] { known = front.engine().unlock(investor); });
        if (!known) {
            return fail(res, 400, "unknown investor " + investor);
        }
        reply(res, {{"unlocked", investor.empty() ? json("all") : json(investor)}});
    });

    server->Get("/orders", [this](const httplib::Request &, httplib::Response &res) {
        json out = json::array();
        front.runOnIo([&] {
            for (const Order &o : front.engine().orders()) {
                out.push_back(toJson(o));
            }
        });
        reply(res, out);
    });

    server->Get("/trades", [this](const httplib::Request &, httplib::Response &res) {
        json out = json::array();
        front.runOnIo([&] {
            for (const Trade &t : front.engine().trades()) {
                out.push_back(toJson(t));
            }
        });
        reply(res, out);
    });

    server->Get("/accounts", [this](const httplib::Request &, httplib::Response &res) {
        json out = json::array();
        front.runOnIo([&] {
            Engine &engine = front.engine();
            for (const auto &[id, acct] : engine.accounts()) {
                const AccountRecord r = engine.account(id);
                json positions = json::array();
                for (const PositionRecord &p : engine.positions(id, {})) {
                    positions.push_back(toJson(p));
                }
                out.push_back({{"investorId", id},
                               {"confirmed", engine.isConfirmed(id)},
                               {"preBalance", acct.preBalance},
                               {"balance", r.balance},
                               {"available", r.available},
                               {"currMargin", r.currMargin},
                               {"closeProfit", acct.closeProfit},
                               {"positionProfit", r.positionProfit},
                               {"commission", acct.commission},
                               {"loginFailures", engine.loginFailures(id)},
                               {"locked", engine.loginLocked(id)},
                               {"positions", positions}});
            }
        });
        reply(res, out);
    });
}

} // namespace simfront
