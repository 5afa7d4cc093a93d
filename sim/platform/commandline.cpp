#include "commandline.h"

#include <cstdlib>

namespace {

bool parseInt(const std::string &text, long min, long max, int *value)
{
    char *end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < min || v > max)
        return false;
    *value = static_cast<int>(v);
    return true;
}

} // namespace

const char *CommandLine::usage()
{
    return "Usage: velmora-simplatform [options]\n"
           "\n"
           "The simulated signal platform: serves the Velmora client's platform API over HTTP\n"
           "(login, configuration, token, user data, login message, signals, order and fill\n"
           "reports) and keeps sessions, signals and reports in an SQLite file.\n"
           "\n"
           "Options:\n"
           "  --listen HOST:PORT     address to serve on (default 127.0.0.1:41280); port 0\n"
           "                         takes a free port. The first line on stdout is\n"
           "                         \"listening on http://HOST:PORT\".\n"
           "  --data DIR             folder of the SQLite file simplatform.sqlite, created if\n"
           "                         missing (default ./simplatform-data)\n"
           "  --config FILE          JSON configuration: users, platform configuration, login\n"
           "                         message, server settings (default: the built-in demo)\n"
           "  --print-config         print the built-in demo configuration and exit\n"
           "  --admin                enable the /admin/ endpoints (signals, reports, faults,\n"
           "                         users, configuration, tokens, request log)\n"
           "  --auto-signals SECONDS publish open long, close long, open short, close short in\n"
           "                         turn on every user's instrument, one every SECONDS (and\n"
           "                         one at start), each valid until the next one\n"
           "  --quiet                no line per request on stderr (faults and signals are\n"
           "                         still logged)\n"
           "  --help                 show this text and exit\n"
           "\n"
           "SIGTERM or SIGINT stop the server cleanly. See docs/simplatform.md.\n";
}

bool CommandLine::parse(int argc, char **argv, std::string *error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "--admin") {
            admin = true;
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--print-config") {
            printConfig = true;
        } else if (arg == "--listen" && hasValue) {
            const std::string value = argv[++i];
            const size_t colon = value.rfind(':');
            if (colon == std::string::npos || colon == 0 ||
                !parseInt(value.substr(colon + 1), 0, 65535, &port)) {
                *error = "--listen takes HOST:PORT, not '" + value + "'";
                return false;
            }
            host = value.substr(0, colon);
        } else if (arg == "--data" && hasValue) {
            dataDir = argv[++i];
            if (dataDir.empty()) {
                *error = "--data takes a folder";
                return false;
            }
        } else if (arg == "--config" && hasValue) {
            configFile = argv[++i];
        } else if (arg == "--auto-signals" && hasValue) {
            const std::string value = argv[++i];
            if (!parseInt(value, 1, 86400, &autoSignalSeconds)) {
                *error =
                    "--auto-signals takes a number of seconds from 1 to 86400, not '" + value + "'";
                return false;
            }
        } else {
            *error = (arg.compare(0, 2, "--") == 0 && !hasValue &&
                              (arg == "--listen" || arg == "--data" || arg == "--config" ||
                               arg == "--auto-signals")
                          ? arg + " needs a value"
                          : "unknown option '" + arg + "'");
            return false;
        }
    }
    return true;
}
