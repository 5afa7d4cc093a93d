#pragma once

#include "tradingcalendar.h"

#include <cstdint>
#include <string>

namespace simfront {

// The command line of velmora-simfront.
struct Options
{
    std::string tdHost = "127.0.0.1";
    unsigned short tdPort = 41205;
    std::string mdHost = "127.0.0.1";
    unsigned short mdPort = 41213;
    std::string adminHost = "127.0.0.1";
    unsigned short adminPort = 41221;
    std::string dataDir = "simfront-data";
    std::string configPath; // empty: the built-in configuration
    std::uint64_t seed = 1;
    int tickMs = 500;
    std::string replayPath;
    std::string clock; // empty: the machine's clock, as exchange time
    TradingCalendar::Kind calendar = TradingCalendar::Kind::Demo;
    bool requireAuth = false; // on top of the configuration's requireAuthentication
    bool help = false;
    bool printConfig = false;

    // False with a message for a bad command line.
    static bool parse(int argc, const char *const *argv, Options &out, std::string &error);
    static const char *helpText();
    // The admin interface has no authentication, so it only ever listens on loopback.
    static bool isLoopback(const std::string &host);
};

} // namespace simfront
