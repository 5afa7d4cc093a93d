#include "calendar.h"

#include "exchangeclock.h"

#include <cstdio>
#include <ctime>

namespace simfront {

namespace {

bool parse(const std::string &day, std::tm &tm)
{
    if (!Calendar::isDate(day)) {
        return false;
    }
    tm = {};
    tm.tm_year = std::stoi(day.substr(0, 4)) - 1900;
    tm.tm_mon = std::stoi(day.substr(4, 2)) - 1;
    tm.tm_mday = std::stoi(day.substr(6, 2));
    tm.tm_hour = 12; // midday keeps daylight-saving shifts from moving the date
    tm.tm_isdst = -1;
    return std::mktime(&tm) != static_cast<std::time_t>(-1);
}

std::string format(const std::tm &tm)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    return buf;
}

std::string step(const std::string &day, int direction)
{
    std::tm tm{};
    if (!parse(day, tm)) {
        return day;
    }
    do {
        tm.tm_mday += direction;
        tm.tm_isdst = -1;
        std::mktime(&tm);
    } while (tm.tm_wday == 0 || tm.tm_wday == 6);
    return format(tm);
}

} // namespace

std::string Calendar::today()
{
    return ExchangeClock::instance().now().date;
}

std::string Calendar::nowTime()
{
    return ExchangeClock::instance().now().hhmmss();
}

int Calendar::nowMillisecond()
{
    return ExchangeClock::instance().now().millisecond;
}

std::string Calendar::firstTradingDay(const std::string &today)
{
    std::tm tm{};
    if (!parse(today, tm)) {
        return today;
    }
    return (tm.tm_wday == 0 || tm.tm_wday == 6) ? nextWeekday(today) : today;
}

std::string Calendar::nextWeekday(const std::string &day)
{
    return step(day, 1);
}

std::string Calendar::previousWeekday(const std::string &day)
{
    return step(day, -1);
}

bool Calendar::isDate(const std::string &day)
{
    if (day.size() != 8) {
        return false;
    }
    for (char c : day) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    const int month = std::stoi(day.substr(4, 2));
    const int dom = std::stoi(day.substr(6, 2));
    return month >= 1 && month <= 12 && dom >= 1 && dom <= 31;
}

} // namespace simfront
