#pragma once

#include <string>

namespace simfront {

// The books the broker keeps: plain values, persisted by Store and computed on by Engine.
// Texts are UTF-8; they become GB2312 only when they leave on the wire.

struct Account
{
    std::string investorId;
    double preBalance = 0; // balance at the start of the trading day
    double deposit = 0;
    double withdraw = 0;
    double closeProfit = 0; // realised today, marked against the pre-settlement price
    double commission = 0;
    double preMargin = 0;
};

// One side's holding in one part: today's opens, or what was carried over from earlier days.
struct PositionLeg
{
    int volume = 0;
    double cost = 0;     // PositionCost: open price for today's part, pre-settlement for earlier
    double openCost = 0; // always at the open prices
    int openVolume = 0;
    double openAmount = 0;
    int closeVolume = 0;
    double closeAmount = 0;
    double closeProfit = 0;
    double commission = 0;

    bool idle() const { return volume == 0 && openVolume == 0 && closeVolume == 0; }
};

struct Position
{
    std::string investorId;
    std::string instrumentId;
    char direction = '2'; // '2' long, '3' short
    int ydStart = 0;      // yesterday's volume as the day began; closes do not change it
    PositionLeg today;
    PositionLeg yd;

    int volume() const { return today.volume + yd.volume; }
};

struct Order
{
    long long seq = 0; // arrival order within the store, for replays
    std::string tradingDay;
    std::string brokerId;
    std::string investorId;
    std::string userId;
    std::string instrumentId;
    std::string exchangeId;
    std::string orderRef; // trimmed; padded to the vendor's width on the wire
    int frontId = 0;
    int sessionId = 0;
    int requestId = 0;
    std::string orderSysId;
    std::string orderLocalId;
    int brokerOrderSeq = 0;
    char direction = '0';
    char offset = '0';
    char hedge = '1';
    char priceType = '2';
    char timeCondition = '1';
    char volumeCondition = '3';
    double limitPrice = 0;
    int volume = 0;
    int minVolume = 1;
    int volumeTraded = 0;
    char status = 'a';       // THOST_FTDC_OST_Unknown until the exchange answers
    char submitStatus = '0'; // THOST_FTDC_OSS_InsertSubmitted
    std::string statusMsg;
    std::string insertDate;
    std::string insertTime;
    std::string updateTime;
    std::string cancelTime;
    long long micros = 0; // arrival, microseconds since the epoch, for pacing checks
};

struct Trade
{
    long long seq = 0;
    std::string tradingDay;
    std::string brokerId;
    std::string investorId;
    std::string userId;
    std::string instrumentId;
    std::string exchangeId;
    std::string orderRef;
    std::string orderSysId;
    std::string orderLocalId;
    int brokerOrderSeq = 0;
    std::string tradeId;
    char direction = '0';
    char offset = '0';
    char hedge = '1';
    double price = 0;
    int volume = 0;
    std::string tradeDate;
    std::string tradeTime;
    double closeProfit = 0; // for the statement; not a field of the vendor's record
    double commission = 0;
    long long micros = 0;
};

// What an instrument carries from one trading day into the next.
struct InstrumentDay
{
    std::string instrumentId;
    double preSettlement = 0;
    double preClose = 0;
    double preOpenInterest = 0;
};

} // namespace simfront
