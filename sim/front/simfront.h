#pragma once

#include "engine.h"
#include "frontconfig.h"
#include "marketfront.h"
#include "options.h"
#include "quotebook.h"
#include "quotereplay.h"
#include "requestjournal.h"
#include "store.h"
#include "tradefront.h"
#include "tradingcalendar.h"

#include <asio.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace simfront {

class AdminServer;

// The whole broker in one process. The books, quotes and both fronts live on one I/O thread;
// the admin interface runs on threads of its own and hands every operation to that thread, so
// nothing in the books is ever touched from two threads.
class SimFront
{
public:
    explicit SimFront(const Options &options);
    ~SimFront();
    SimFront(const SimFront &) = delete;
    SimFront &operator=(const SimFront &) = delete;

    // Loads the configuration and the books, binds the three ports and starts the threads.
    bool start(std::string &error);
    // After a failed start: whether the configuration or the replay file was at fault (rather
    // than the data folder or an address).
    bool badConfiguration() const { return configFailed; }
    // Stops accepting, closes every connection and the admin interface, and joins the threads;
    // the books are committed already.
    void stop();

    std::string tdAddress() const { return tdAddr; }
    std::string mdAddress() const { return mdAddr; }
    std::string adminAddress() const;

    // Runs fn on the I/O thread and waits for it. The I/O thread runs until the admin threads,
    // the only other callers, have ended, so the wait always ends.
    void runOnIo(const std::function<void()> &fn);

    // Members for the admin interface; use them on the I/O thread only.
    Engine &engine() { return *engine_; }
    QuoteBook &quotes() { return *quotes_; }
    RequestJournal &journal() { return journal_; }
    TradeFront &tradeFront() { return *td; }
    MarketFront &marketFront() { return *md; }
    bool quotesPaused() const { return paused; }
    void pauseQuotes(bool pause) { paused = pause; }
    // Rolls the trading day and sends every subscriber the new day's first quote.
    std::string rollTradingDay();
    void publish(const std::string &instrumentId) { md->publish(instrumentId); }
    const TradingCalendar &calendar() const { return calendar_; }
    // Moves the exchange clock, and with it maybe the service hours and the trading day.
    bool setClock(const std::string &time, std::string &error);
    // Whether the fronts serve now (always with the demo calendar).
    bool serving() const { return !serviceWindow.empty(); }
    // The instruments whose market is open now.
    std::vector<std::string> openInstruments() const;

private:
    void scheduleTick();
    void tick();
    void scheduleUpkeep();
    // With a calendar that moves the day by itself: rolls until the books are on the trading
    // day of the clock, as the broker's end of day would have.
    void rollIfDue();
    bool rollDue() const;
    // Follows the service hours: at a close every session is dropped, and the day rolls only
    // while the fronts are closed, so no session ever sees its trading day change.
    void keepServiceHours();
    void dropAllSessions();
    bool isOpen(const InstrumentSpec &spec) const;

    Options options;
    FrontConfig config;
    asio::io_context io;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    Store store;
    std::unique_ptr<QuoteBook> quotes_;
    std::unique_ptr<Engine> engine_;
    RequestJournal journal_;
    QuoteReplay replay;
    std::unique_ptr<TradeFront> td;
    std::unique_ptr<MarketFront> md;
    asio::steady_timer quoteTimer;
    asio::steady_timer upkeepTimer;
    TradingCalendar calendar_;
    bool paused = false;
    std::string serviceWindow; // the window the fronts serve in; "" while closed
    std::string tdAddr;
    std::string mdAddr;
    std::unique_ptr<AdminServer> admin;
    std::thread ioThread;
    bool started = false;
    bool configFailed = false;
};

} // namespace simfront
