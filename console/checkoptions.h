#pragma once

#include <string>

// What the command line asks of the check. The password is never among it: a command line
// stays in the shell's history and is visible to every user in the process list.
struct CheckOptions
{
    std::string front;
    std::string broker;
    std::string investor;
    std::string appId;
    std::string authCode;
    std::string mdFront;
    std::string instrument;
    bool help = false;

    bool authenticates() const { return !appId.empty(); }
    bool takesMarketData() const { return !mdFront.empty(); }

    // False, with a sentence for the trader in error, for anything that cannot be used exactly
    // as given: a value the CTP record would cut short is refused rather than sent cut.
    static bool parse(int argc, const char *const *argv, CheckOptions &out, std::string &error);
    static const char *usage();
};
