#include "tradingcalendar.h"

#include "calendar.h"

namespace simfront {

namespace {

bool isWeekday(int weekday)
{
    return weekday >= 1 && weekday <= 5;
}

} // namespace

bool TradingCalendar::parseKind(const std::string &name, Kind &kind)
{
    if (name == "demo") {
        kind = Kind::Demo;
    } else if (name == "exchange") {
        kind = Kind::Exchange;
    } else {
        return false;
    }
    return true;
}

const char *TradingCalendar::name() const
{
    return kind_ == Kind::Demo ? "demo" : "exchange";
}

bool TradingCalendar::isOpen(const InstrumentSpec &spec, const ExchangeClock::Time &time) const
{
    if (kind_ == Kind::Demo || spec.sessions.empty()) {
        return true;
    }
    const int second = time.secondOfDay;
    for (const TradingSession &s : spec.sessions) {
        if (!s.contains(second)) {
            continue;
        }
        // Sessions open on weekdays; the part of a night session after midnight belongs to the
        // weekday evening before it, so it runs from Tuesday to Saturday mornings.
        const bool afterMidnight = s.start > s.end && second < s.end;
        const int openedOn = afterMidnight ? (time.weekday + 6) % 7 : time.weekday;
        if (isWeekday(openedOn)) {
            return true;
        }
    }
    return false;
}

std::string TradingCalendar::tradingDayAt(const ExchangeClock::Time &time) const
{
    if (kind_ == Kind::Exchange && time.secondOfDay >= settlementTime_) {
        return Calendar::nextWeekday(time.date);
    }
    return Calendar::firstTradingDay(time.date);
}

} // namespace simfront
