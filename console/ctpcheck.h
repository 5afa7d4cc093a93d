#pragma once

#include "checkoptions.h"
#include "pending.h"
#include "steprunner.h"

#include <chrono>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

class CThostFtdcMdApi;
class CThostFtdcTraderApi;
class MdCheckSpi;
class TradeCheckSpi;

// Exit codes beside the step numbers (1 to 11), as sysexits.h names them.
constexpr int kExitUsage = 64;
constexpr int kExitNoPassword = 66;

// The check of one broker's fronts, step by step as a trading client logs in. It only reads:
// it never places an order and never confirms a settlement statement, which a trader must see
// before confirming.
class CtpCheck
{
public:
    CtpCheck(CheckOptions options, std::string password, std::ostream &out);
    ~CtpCheck();
    CtpCheck(const CtpCheck &) = delete;
    CtpCheck &operator=(const CtpCheck &) = delete;

    // 0 when every step passed, else the number of the step that failed first.
    int run();

private:
    using Result = StepRunner::Result;

    Result connectTrader();
    Result authenticate();
    Result login();
    Result querySettlement();
    Result queryAccount();
    Result queryPositions();
    Result queryInstrument();
    Result connectMd();
    Result loginMd();
    Result subscribe();
    Result takeTicks();

    // Sends with a fresh request id and waits for its answer; a front busy with a query (-2)
    // or over its queries per second (-3) is asked again until the step's time is up.
    template <typename Send> Result request(Pending &pending, Send send);
    Result await(Pending &pending, std::chrono::steady_clock::time_point deadline,
                 const char *silence = "没有回答");
    // Real fronts take one query a second: the pause comes before the step's clock starts, so
    // the times printed are the front's.
    void paceQuery();
    void release();

    const CheckOptions options_;
    std::string password_;
    std::ostream &out_;
    StepRunner runner_;
    std::string flowFolder_;
    Pending tradePending_;
    Pending mdPending_;
    std::unique_ptr<TradeCheckSpi> tradeSpi_;
    std::unique_ptr<MdCheckSpi> mdSpi_;
    CThostFtdcTraderApi *trader_ = nullptr;
    CThostFtdcMdApi *md_ = nullptr;
    int lastRequestId_ = 0;
    std::optional<std::chrono::steady_clock::time_point> lastQuery_;
};
