#include "frontaddress.h"

namespace velmora::wire {

bool FrontAddress::parse(const std::string &text, std::string &host, unsigned short &port)
{
    std::string rest = text;
    const std::string scheme = "tcp://";
    if (rest.compare(0, scheme.size(), scheme) == 0) {
        rest = rest.substr(scheme.size());
    }
    while (!rest.empty() && rest.back() == '/') {
        rest.pop_back();
    }
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == rest.size()) {
        return false;
    }
    std::string name = rest.substr(0, colon);
    if (name.size() > 2 && name.front() == '[' && name.back() == ']') {
        name = name.substr(1, name.size() - 2);
    }
    unsigned long value = 0;
    for (std::size_t i = colon + 1; i < rest.size(); ++i) {
        const char c = rest[i];
        if (c < '0' || c > '9' || i - colon > 5) {
            return false;
        }
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (value > 65535) {
        return false;
    }
    host = name;
    port = static_cast<unsigned short>(value);
    return true;
}

} // namespace velmora::wire
