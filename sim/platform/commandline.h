#pragma once

#include <string>

// The program's options, read from argv.
struct CommandLine
{
    std::string host = "127.0.0.1";
    int port = 41280;
    std::string dataDir = "simplatform-data";
    std::string configFile; // empty: the built-in demo configuration
    bool admin = false;
    int autoSignalSeconds = 0; // 0: off
    bool quiet = false;
    bool help = false;
    bool printConfig = false;

    // false with a message for an unknown option or a bad value.
    bool parse(int argc, char **argv, std::string *error);
    static const char *usage();
};
