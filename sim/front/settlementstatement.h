#pragma once

#include "engine.h"
#include "ledger.h"

#include <map>
#include <string>
#include <vector>

namespace simfront {

// The day's settlement statement as text: account summary, trades and positions, laid out in
// columns the way brokers print it. UTF-8 here; the engine stores it as GB2312.
struct SettlementStatement
{
    std::string brokerId;
    std::string brokerName;
    std::string investorId;
    std::string investorName;
    std::string tradingDay;
    AccountRecord account;
    std::vector<Trade> trades;
    std::vector<PositionRecord> positions;
    std::map<std::string, std::string> instrumentNames;
    std::map<std::string, int> multipliers;

    std::string render() const;
};

} // namespace simfront
