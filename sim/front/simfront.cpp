#include "simfront.h"

#include "adminserver.h"

#include <future>

namespace simfront {

SimFront::SimFront(const Options &options) : options(options), quoteTimer(io) {}

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
    if (!store.open(options.dataDir, error)) {
        return false;
    }
    quotes_ = std::make_unique<QuoteBook>(config.instruments, options.seed);
    engine_ = std::make_unique<Engine>(config, store, *quotes_);
    if (!engine_->load(error)) {
        return false;
    }
    td = std::make_unique<TradeFront>(io, *engine_, journal_);
    md = std::make_unique<MarketFront>(io, *engine_, *quotes_, journal_);
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

void SimFront::tick()
{
    if (paused) {
        return;
    }
    if (!replay.empty()) {
        const QuoteUpdate &row = replay.next();
        std::string error;
        if (quotes_->apply(row, error)) {
            md->publish(row.instrumentId);
        }
        return;
    }
    quotes_->walk();
    for (const auto &[id, q] : quotes_->all()) {
        md->publish(id);
    }
}

} // namespace simfront
