#include "tradingcalendar.h"

#include "calendar.h"

namespace simfront {

namespace {

bool isWeekday(int weekday)
{
    return weekday >= 1 && weekday <= 5;
}

// The index of the window the time lies in, or -1. Windows open on weekdays; the part of a
// window after midnight belongs to the weekday evening before it, so a night runs from Tuesday
// to Saturday mornings.
int windowIndex(const std::vector<TradingSession> &windows, const ExchangeClock::Time &time)
{
    const int second = time.secondOfDay;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const TradingSession &s = windows[i];
        if (!s.contains(second)) {
            continue;
        }
        const bool afterMidnight = s.start > s.end && second < s.end;
        const int openedOn = afterMidnight ? (time.weekday + 6) % 7 : time.weekday;
        if (isWeekday(openedOn)) {
            return static_cast<int>(i);
        }
    }
    return -1;
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
    return windowIndex(spec.sessions, time) >= 0;
}

std::string TradingCalendar::serviceWindowAt(const ExchangeClock::Time &time) const
{
    if (kind_ == Kind::Demo || serviceHours_.empty()) {
        return "always";
    }
    const int index = windowIndex(serviceHours_, time);
    if (index < 0) {
        return {};
    }
    return tradingDayAt(time) + "#" + std::to_string(index);
}

std::string TradingCalendar::tradingDayAt(const ExchangeClock::Time &time) const
{
    if (kind_ == Kind::Exchange && time.secondOfDay >= settlementTime_) {
        return Calendar::nextWeekday(time.date);
    }
    return Calendar::firstTradingDay(time.date);
}

} // namespace simfront
