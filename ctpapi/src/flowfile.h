#pragma once

#include <cstdint>
#include <string>

namespace velmora::ctpapi {

// Where a trading API object's private and public streams left off, as one fixed-size record in
// a file of the flow folder. Each change overwrites the record in place without fsync: it is
// written once per notice, and the page cache keeps it across a crash of the process.
class FlowFile
{
public:
    struct Position
    {
        std::string tradingDay;
        std::int32_t privateSequence = 0;
        std::int32_t publicSequence = 0;
    };

    static constexpr const char *kFileName = "velmora-trader.flow";

    FlowFile() = default;
    FlowFile(const FlowFile &) = delete;
    FlowFile &operator=(const FlowFile &) = delete;
    ~FlowFile();

    // flowPath is a folder when it ends with '/', else a prefix of the file name; "" is the
    // working folder. False, with the reason in error, when the file cannot be opened for
    // writing.
    bool open(const std::string &flowPath, std::string &error);
    bool isOpen() const { return fd_ >= 0; }
    // What the file holds; an empty or foreign file holds nothing (day "", numbers 0).
    Position read() const;
    bool write(const Position &position);

private:
    int fd_ = -1;
};

} // namespace velmora::ctpapi
