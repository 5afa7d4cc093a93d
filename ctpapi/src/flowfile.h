#pragma once

#include <cstdint>
#include <string>

namespace velmora::ctpapi {

// A file of an API object in its flow folder: one fixed-size record of where the trading API's
// private and public streams left off. The record is mapped into memory and each change is
// stored into the mapping: the page cache keeps it across a crash of the process without a
// system call per notice on the path to the next callback, and without fsync. The market-data
// API's file has the same layout and is never written after its creation: it only claims the
// flow path, as the vendor's library does with its own market-data flow files.
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
    // working folder. The file is created when missing. When it cannot be opened for writing,
    // given room for its record or mapped, the process ends with exit code 1 after one line on
    // stderr: the vendor's library ends the process the same way, and a client left running
    // without its flow would replay or lose its private stream unnoticed. _Exit, not exit: the
    // client's other threads may still be using what static destructors would destroy.
    void openOrExit(const std::string &flowPath, const char *fileName);
    bool isOpen() const { return record_ != nullptr; }
    // What the file holds; an empty or foreign file holds nothing (day "", numbers 0).
    Position read() const;
    void write(const Position &position);

private:
    void *record_ = nullptr;
};

} // namespace velmora::ctpapi
