#include "settlementtext.h"

#include "utils.h"

namespace {

// Where the bytes stop forming whole characters: a lead byte (high bit set) needs its trail.
std::size_t wholeCharacters(const std::string &bytes)
{
    std::size_t at = 0;
    while (at < bytes.size()) {
        const bool lead = (static_cast<unsigned char>(bytes[at]) & 0x80) != 0;
        const std::size_t width = lead ? 2 : 1;
        if (at + width > bytes.size()) {
            break;
        }
        at += width;
    }
    return at;
}

} // namespace

QString SettlementText::append(const std::string &bytes, bool last)
{
    std::string ready;
    {
        std::lock_guard<std::mutex> lock(mutex);
        pending += bytes;
        const std::size_t whole = last ? pending.size() : wholeCharacters(pending);
        ready = pending.substr(0, whole);
        pending.erase(0, whole);
    }
    return Utils::fromGb2312(ready);
}

void SettlementText::clear()
{
    std::lock_guard<std::mutex> lock(mutex);
    pending.clear();
}
