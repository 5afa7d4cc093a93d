#pragma once

#include <atomic>
#include <string>

namespace simfront {

// The time of the exchanges the front serves: China Standard Time (UTC+8) whatever the
// machine's zone, running from the machine's clock unless an operator or a test moved it.
// Moving it keeps it running on from the new time. One clock per process, like the front.
class ExchangeClock
{
public:
    struct Time
    {
        std::string date; // YYYYMMDD
        int secondOfDay = 0;
        int millisecond = 0;
        int weekday = 0; // 0 Sunday .. 6 Saturday

        std::string hhmmss() const;
        // "YYYY-MM-DD HH:MM:SS", as the clock is set and shown.
        std::string text() const;
    };

    static ExchangeClock &instance();

    // "YYYY-MM-DD HH:MM:SS" as seconds since the epoch of exchange time; false with a reason
    // for anything else.
    static bool parse(const std::string &text, long long &seconds, std::string &error);

    Time now() const;
    // Sets the clock from "YYYY-MM-DD HH:MM:SS" (exchange time).
    bool set(const std::string &text, std::string &error);
    // Back to the machine's clock.
    void reset();

private:
    // Microseconds added to the machine's UTC time to get exchange time.
    std::atomic<long long> offsetMicros{kChinaOffsetMicros};
    static constexpr long long kChinaOffsetMicros = 8LL * 3600 * 1000000;
};

} // namespace simfront
