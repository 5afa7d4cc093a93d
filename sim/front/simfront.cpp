#include "simfront.h"

#include "adminserver.h"

#include <cstdio>
#include <future>

namespace simfront {

SimFront::SimFront(const Options &options)
    : options(options), quoteTimer(io), upkeepTimer(io),
      calendar_(options.calendar, FrontConfig().settlementTime)
{
}

SimFront::~SimFront()
{
    stop();
}

bool SimFront::start(std::string &error)
{
    if (options.configPath.empty()) {
        config = FrontConfig::builtIn();
    } else if (!FrontConfig::load(options.configPath, config, error)) {
        configFailed = true;
        return false;
    }
    if (!options.replayPath.empty() && !replay.load(options.replayPath, error)) {
        configFailed = true;
        return false;
    }
    if (!options.clock.empty() && !ExchangeClock::instance().set(options.clock, error)) {
        configFailed = true;
        return false;
    }
    calendar_ = TradingCalendar(options.calendar, config.settlementTime, config.serviceHours);
    if (!store.open(options.dataDir, error)) {
        return false;
    }
    quotes_ = std::make_unique<QuoteBook>(config.instruments, options.seed);
    engine_ = std::make_unique<Engine>(config, store, *quotes_);
    MarketHours hours;
    hours.isOpen = [this](const InstrumentSpec &spec) { return isOpen(spec); };
    hours.firstTradingDay = [this] {
        return calendar_.tradingDayAt(ExchangeClock::instance().now());
    };
    engine_->setMarketHours(std::move(hours));
    if (!engine_->load(error)) {
        return false;
    }
    rollIfDue();
    serviceWindow = calendar_.serviceWindowAt(ExchangeClock::instance().now());
    td = std::make_unique<TradeFront>(io, *engine_, journal_);
    td->requireAuthentication(options.requireAuth || config.requireAuthentication);
    md = std::make_unique<MarketFront>(io, *engine_, *quotes_, journal_);
    td->setServing([this] { return serving(); });
    md->setServing([this] { return serving(); });
    if (!td->listen(options.tdHost, options.tdPort, error) ||
        !md->listen(options.mdHost, options.mdPort, error)) {
        return false;
    }
    tdAddr = td->address();
    mdAddr = md->address();
    admin = std::make_unique<AdminServer>(*this);
    if (!admin->listen(options.adminHost, options.adminPort, error)) {
        return false;
    }
    work.emplace(io.get_executor());
    scheduleTick();
    scheduleUpkeep();
    ioThread = std::thread([this] { io.run(); });
    admin->start();
    started = true;
    return true;
}

std::string SimFront::adminAddress() const
{
    return admin ? admin->address() : std::string();
}

void SimFront::stop()
{
    if (!started) {
        return;
    }
    started = false;
    // The admin threads may be waiting for the I/O thread, which therefore runs until they
    // are gone.
    admin->stop();
    runOnIo([this] {
        quoteTimer.cancel();
        upkeepTimer.cancel();
        td->shutdown();
        md->shutdown();
    });
    work.reset();
    io.stop();
    ioThread.join();
    store.close();
}

void SimFront::runOnIo(const std::function<void()> &fn)
{
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    asio::post(io, [fn, done] {
        fn();
        done->set_value();
    });
    finished.wait();
}

std::string SimFront::rollTradingDay()
{
    if (calendar_.rollsByItself()) {
        // A broker changes the day only across an outage: no session outlives it.
        dropAllSessions();
    }
    const std::string day = engine_->rollTradingDay();
    for (const auto &[id, q] : quotes_->all()) {
        md->publish(id);
    }
    return day;
}

void SimFront::scheduleTick()
{
    const auto interval = std::chrono::milliseconds(options.tickMs);
    const auto now = std::chrono::steady_clock::now();
    auto next = quoteTimer.expiry() + interval;
    if (next < now) {
        // Fallen behind (a slow disk, a busy machine): skip the lost steps instead of
        // bursting them out.
        next = now + interval;
    }
    quoteTimer.expires_at(next);
    quoteTimer.async_wait([this](const asio::error_code &ec) {
        if (ec) {
            return;
        }
        tick();
        scheduleTick();
    });
}

bool SimFront::isOpen(const InstrumentSpec &spec) const
{
    return calendar_.isOpen(spec, ExchangeClock::instance().now());
}

std::vector<std::string> SimFront::openInstruments() const
{
    std::vector<std::string> out;
    for (const InstrumentSpec &spec : config.instruments) {
        if (isOpen(spec)) {
            out.push_back(spec.id);
        }
    }
    return out;
}

void SimFront::tick()
{
    if (paused) {
        return;
    }
    // A closed market's quotes stand still.
    const ExchangeClock::Time now = ExchangeClock::instance().now();
    auto moves = [&](const std::string &instrumentId) {
        const InstrumentSpec *spec = config.instrument(instrumentId);
        return spec && calendar_.isOpen(*spec, now);
    };
    if (!replay.empty()) {
        const QuoteUpdate &row = replay.next();
        std::string error;
        if (moves(row.instrumentId) && quotes_->apply(row, error)) {
            md->publish(row.instrumentId);
        }
        return;
    }
    quotes_->walk(moves);
    for (const auto &[id, q] : quotes_->all()) {
        if (moves(id)) {
            md->publish(id);
        }
    }
}

void SimFront::scheduleUpkeep()
{
    upkeepTimer.expires_after(std::chrono::milliseconds(200));
    upkeepTimer.async_wait([this](const asio::error_code &ec) {
        if (ec) {
            return;
        }
        keepServiceHours();
        scheduleUpkeep();
    });
}

bool SimFront::rollDue() const
{
    return calendar_.rollsByItself() &&
           engine_->tradingDay() < calendar_.tradingDayAt(ExchangeClock::instance().now());
}

void SimFront::dropAllSessions()
{
    if (td) {
        td->dropAll(0);
    }
    if (md) {
        md->dropAll(0);
    }
}

void SimFront::keepServiceHours()
{
    const std::string window = calendar_.serviceWindowAt(ExchangeClock::instance().now());
    if (window == serviceWindow && !rollDue()) {
        return;
    }
    if (!serviceWindow.empty()) {
        std::fprintf(stderr, "simfront: the fronts close\n");
        dropAllSessions();
        serviceWindow.clear();
    }
    rollIfDue();
    serviceWindow = window;
    if (!serviceWindow.empty()) {
        std::fprintf(stderr, "simfront: the fronts open for trading day %s\n",
                     engine_->tradingDay().c_str());
    }
}

void SimFront::rollIfDue()
{
    if (!calendar_.rollsByItself()) {
        return;
    }
    const std::string due = calendar_.tradingDayAt(ExchangeClock::instance().now());
    // A front that was down for long catches up one day at a time, writing each day's
    // statements; the bound only guards against a clock set centuries ahead.
    for (int i = 0; i < 400 && engine_->tradingDay() < due; ++i) {
        const std::string day = rollTradingDay();
        std::fprintf(stderr, "simfront: trading day %s begins\n", day.c_str());
    }
}

bool SimFront::setClock(const std::string &time, std::string &error)
{
    if (!ExchangeClock::instance().set(time, error)) {
        return false;
    }
    keepServiceHours();
    return true;
}

} // namespace simfront
