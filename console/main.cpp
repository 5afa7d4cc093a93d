// velmora-ctpcheck: checks a broker's CTP fronts step by step from a console, as a trading
// client logs in, and says which step fails and with what answer from the front.

#include "checkoptions.h"
#include "ctpcheck.h"
#include "password.h"

#include <iostream>

int main(int argc, char **argv)
{
    CheckOptions options;
    std::string error;
    if (!CheckOptions::parse(argc, argv, options, error)) {
        std::cerr << "velmora-ctpcheck：" << error << "\n\n" << CheckOptions::usage();
        return kExitUsage;
    }
    if (options.help) {
        std::cout << CheckOptions::usage();
        return 0;
    }
    std::string password;
    if (!readPassword(password, error)) {
        std::cerr << "velmora-ctpcheck：" << error << std::endl;
        return kExitNoPassword;
    }
    CtpCheck check(std::move(options), std::move(password), std::cout);
    return check.run();
}
