#pragma once

#include "quotebook.h"

#include <string>
#include <vector>

namespace simfront {

// Ticks read from a CSV file instead of the random walk. One line is one tick of one
// instrument: instrument,last[,bid,bidVolume,ask,askVolume,volume]; empty cells keep or derive
// their value, '#' starts a comment line, a first line starting "instrument" is a header.
// Each quote step plays the next line; the file starts again after its last line.
class QuoteReplay
{
public:
    bool load(const std::string &path, std::string &error);
    bool parse(const std::string &text, std::string &error);

    bool empty() const { return rows.empty(); }
    std::size_t size() const { return rows.size(); }
    const QuoteUpdate &next();

private:
    std::vector<QuoteUpdate> rows;
    std::size_t position = 0;
};

} // namespace simfront
