#pragma once

#include <string>

namespace simfront {

// Dates as the CTP interface writes them (YYYYMMDD), and the date and time of the exchange
// clock.
class Calendar
{
public:
    static std::string today();
    static std::string nowTime(); // HH:MM:SS
    static int nowMillisecond();
    // The first trading day of a fresh store: today, or the next weekday on a weekend.
    static std::string firstTradingDay(const std::string &today);
    static std::string nextWeekday(const std::string &day);
    static std::string previousWeekday(const std::string &day);
    static bool isDate(const std::string &day);
};

} // namespace simfront
