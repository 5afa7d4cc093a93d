#pragma once

#include <cstdint>
#include <string>

namespace velmora::ctpapi {

// A file of an API object in its flow folder. The trading API's holds where its private and
// public streams left off, as one fixed-size record. Each change overwrites the record in place
// without fsync: it is written once per notice, and the page cache keeps it across a crash of the
// process. The market-data API's stays empty: it only claims the flow path, as the vendor's
// library does with its own market-data flow files.
class FlowFile
{
public:
    struct Position
    {
        std::string tradingDay;
        std::int32_t privateSequence = 0;
        std::int32_t publicSequence = 0;
    };

    static constexpr const char *kTraderFileName = "velmora-trader.flow";
    static constexpr const char *kMdFileName = "velmora-md.flow";

    FlowFile() = default;
    FlowFile(const FlowFile &) = delete;
    FlowFile &operator=(const FlowFile &) = delete;
    ~FlowFile();

    // flowPath is a folder when it ends with '/', else a prefix of the file name; "" is the
    // working folder. The file is created when missing. When it cannot be opened for writing the
    // process ends with exit code 1 after one line on stderr: the vendor's library ends the
    // process the same way, and a client left running without its flow would replay or lose its
    // private stream unnoticed. _Exit, not exit: the client's other threads may still be using
    // what static destructors would destroy.
    void openOrExit(const std::string &flowPath, const char *fileName);
    bool isOpen() const { return fd_ >= 0; }
    // What the file holds; an empty or foreign file holds nothing (day "", numbers 0).
    Position read() const;
    bool write(const Position &position);

private:
    int fd_ = -1;
};

} // namespace velmora::ctpapi
