#pragma once

#include "exchangeclock.h"
#include "frontconfig.h"

#include <string>
#include <vector>

namespace simfront {

// Which markets are open at a time of the exchange clock, and which trading day that time
// belongs to. The demo calendar keeps every market open around the clock and never moves the
// day by itself, so a demonstration trades whenever it is started; the exchange calendar
// follows each instrument's sessions and moves the day at the settlement time, so the night
// session belongs to the next trading day as on the real exchanges.
class TradingCalendar
{
public:
    enum class Kind
    {
        Demo,
        Exchange
    };

    TradingCalendar(Kind kind, int settlementTime, std::vector<TradingSession> serviceHours = {})
        : kind_(kind), settlementTime_(settlementTime), serviceHours_(std::move(serviceHours))
    {
    }

    // "demo" or "exchange".
    static bool parseKind(const std::string &name, Kind &kind);
    const char *name() const;

    bool isOpen(const InstrumentSpec &spec, const ExchangeClock::Time &time) const;
    std::string tradingDayAt(const ExchangeClock::Time &time) const;
    bool rollsByItself() const { return kind_ == Kind::Exchange; }
    // The broker's service window the time lies in, named by its trading day and its place in
    // the list, so that a clock moved from one window into another is seen as a close; "" while
    // the fronts are closed. The demo calendar serves around the clock in one window.
    std::string serviceWindowAt(const ExchangeClock::Time &time) const;

private:
    Kind kind_;
    int settlementTime_;
    std::vector<TradingSession> serviceHours_;
};

} // namespace simfront
