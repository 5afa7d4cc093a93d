#pragma once

#include <string>

namespace velmora::wire {

// A front's address as the API takes it ("tcp://host:port") or as a command line gives it
// ("host:port").
class FrontAddress
{
public:
    // False when there is no host, no port, or the port is not a number from 0 to 65535.
    static bool parse(const std::string &text, std::string &host, unsigned short &port);
};

} // namespace velmora::wire
