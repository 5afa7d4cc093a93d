#include "options.h"

#include "frontaddress.h"

#include <asio/ip/address.hpp>

#include <cerrno>
#include <cstdlib>

namespace simfront {

namespace {

const char kHelp[] = R"(Usage: velmora-simfront [options]

A simulated futures broker: a CTP trading front and market-data front in one process, with
accounts, instruments, quotes, IOC matching, positions, settlement statements and an HTTP admin
interface on loopback. Once listening it prints, one per line:
  td tcp://HOST:PORT
  md tcp://HOST:PORT
  admin http://HOST:PORT
SIGTERM or SIGINT shut it down cleanly.

Options:
  --td HOST:PORT      trading front address (default 127.0.0.1:41205); port 0 takes a free port
  --md HOST:PORT      market-data front address (default 127.0.0.1:41213); port 0: a free port
  --admin HOST:PORT   admin HTTP interface (default 127.0.0.1:41221); loopback hosts only;
                      port 0: a free port
  --data DIR          folder of the SQLite books (default ./simfront-data); created if missing
  --config FILE       JSON configuration (broker, investors, instruments); without it the
                      built-in one: broker 9999, investors 000001 and 000002 with password
                      123456, instruments rb2705 (SHFE), sc2706 (INE), m2705 (DCE), SR705 (CZCE)
                      and IF2706 (CFFEX)
  --seed N            seed of the random walk of the quotes (default 1)
  --tick-ms N         milliseconds between quote steps (default 500, at least 1)
  --replay FILE       play ticks from a CSV file instead of the random walk; one line per tick:
                      instrument,last[,bid,bidVolume,ask,askVolume,volume]
  --clock "YYYY-MM-DD HH:MM:SS"
                      start the exchange clock (China time, UTC+8) at this time; it runs on
                      from there (default: the machine's clock)
  --calendar NAME     demo (default): every instrument trades around the clock and the trading
                      day moves only by POST /roll; exchange: each instrument trades in its
                      sessions, the fronts serve only in the broker's service hours and the
                      day moves by itself while they are closed
  --require-auth      refuse the login of a connection that has not authenticated its terminal
                      (ReqAuthenticate with an AppID and AuthCode the configuration lists)
  --print-config      print the built-in configuration and exit
  --help              print this help and exit

docs/simfront.md describes the configuration, the admin interface and the trading day.
)";

bool takeAddress(const std::string &value, std::string &host, unsigned short &port,
                 std::string &error, const char *option)
{
    if (!velmora::wire::FrontAddress::parse(value, host, port)) {
        error = std::string(option) + " wants HOST:PORT, not '" + value + "'";
        return false;
    }
    return true;
}

bool takeNumber(const std::string &value, long long min, long long max, long long &out,
                std::string &error, const char *option)
{
    char *end = nullptr;
    errno = 0;
    const long long v = std::strtoll(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || errno != 0 || v < min || v > max) {
        error = std::string(option) + " wants a number from " + std::to_string(min) + " to " +
                std::to_string(max) + ", not '" + value + "'";
        return false;
    }
    out = v;
    return true;
}

} // namespace

bool Options::isLoopback(const std::string &host)
{
    if (host == "localhost") {
        return true;
    }
    asio::error_code ec;
    const auto address = asio::ip::make_address(host, ec);
    return !ec && address.is_loopback();
}

bool Options::parse(int argc, const char *const *argv, Options &out, std::string &error)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        const auto eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            hasValue = true;
        }
        auto need = [&]() {
            if (hasValue) {
                return true;
            }
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        long long n = 0;
        if (arg == "--help" || arg == "-h") {
            o.help = true;
        } else if (arg == "--print-config") {
            o.printConfig = true;
        } else if (arg == "--td") {
            if (!need() || !takeAddress(value, o.tdHost, o.tdPort, error, "--td")) {
                return false;
            }
        } else if (arg == "--md") {
            if (!need() || !takeAddress(value, o.mdHost, o.mdPort, error, "--md")) {
                return false;
            }
        } else if (arg == "--admin") {
            if (!need() || !takeAddress(value, o.adminHost, o.adminPort, error, "--admin")) {
                return false;
            }
            if (!isLoopback(o.adminHost)) {
                error = "--admin must be a loopback address: the admin interface has no "
                        "authentication";
                return false;
            }
        } else if (arg == "--data") {
            if (!need()) {
                return false;
            }
            if (value.empty()) {
                error = "--data needs a folder";
                return false;
            }
            o.dataDir = value;
        } else if (arg == "--config") {
            if (!need()) {
                return false;
            }
            o.configPath = value;
        } else if (arg == "--seed") {
            if (!need() || !takeNumber(value, 0, INT64_MAX, n, error, "--seed")) {
                return false;
            }
            o.seed = static_cast<std::uint64_t>(n);
        } else if (arg == "--tick-ms") {
            if (!need() || !takeNumber(value, 1, 3600000, n, error, "--tick-ms")) {
                return false;
            }
            o.tickMs = static_cast<int>(n);
        } else if (arg == "--clock") {
            long long ignored = 0;
            if (!need() || !ExchangeClock::parse(value, ignored, error)) {
                return false;
            }
            o.clock = value;
        } else if (arg == "--calendar") {
            if (!need()) {
                return false;
            }
            if (!TradingCalendar::parseKind(value, o.calendar)) {
                error = "--calendar is demo or exchange, not '" + value + "'";
                return false;
            }
        } else if (arg == "--require-auth") {
            o.requireAuth = true;
        } else if (arg == "--replay") {
            if (!need()) {
                return false;
            }
            o.replayPath = value;
        } else {
            error = "unknown option '" + arg + "' (see --help)";
            return false;
        }
    }
    out = o;
    return true;
}

const char *Options::helpText()
{
    return kHelp;
}

} // namespace simfront
