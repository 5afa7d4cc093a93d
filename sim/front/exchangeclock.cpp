#include "exchangeclock.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace simfront {

namespace {

long long machineMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

std::string ExchangeClock::Time::hhmmss() const
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", secondOfDay / 3600, secondOfDay / 60 % 60,
                  secondOfDay % 60);
    return buf;
}

std::string ExchangeClock::Time::text() const
{
    return date.substr(0, 4) + "-" + date.substr(4, 2) + "-" + date.substr(6, 2) + " " + hhmmss();
}

ExchangeClock &ExchangeClock::instance()
{
    static ExchangeClock clock;
    return clock;
}

ExchangeClock::Time ExchangeClock::now() const
{
    const long long micros = machineMicros() + offsetMicros.load();
    // The offset is already in, so the UTC breakdown of the shifted instant is exchange time.
    const std::time_t seconds = static_cast<std::time_t>(micros / 1000000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    Time t;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    t.date = buf;
    t.secondOfDay = tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
    t.millisecond = static_cast<int>(micros / 1000 % 1000);
    t.weekday = tm.tm_wday;
    return t;
}

bool ExchangeClock::parse(const std::string &text, long long &seconds, std::string &error)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char tail = 0;
    if (text.size() != 19 ||
        std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &year, &month, &day, &hour, &minute,
                    &second, &tail) != 6 ||
        year < 1970 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
        minute > 59 || second > 59 || hour < 0 || minute < 0 || second < 0) {
        error = "the time is \"YYYY-MM-DD HH:MM:SS\", not \"" + text + "\"";
        return false;
    }
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    seconds = static_cast<long long>(timegm(&tm));
    if (tm.tm_mday != day) {
        error = "no such day: \"" + text + "\"";
        return false;
    }
    return true;
}

bool ExchangeClock::set(const std::string &text, std::string &error)
{
    long long seconds = 0;
    if (!parse(text, seconds, error)) {
        return false;
    }
    offsetMicros = seconds * 1000000 - machineMicros();
    return true;
}

void ExchangeClock::reset()
{
    offsetMicros = kChinaOffsetMicros;
}

} // namespace simfront
