// Order round trip (ReqOrderInsert -> OnRtnTrade) and market-data ticks per second through our
// CTP API against velmora-simfront on loopback.
//
//   bench_ctpapi [--orders N] [--seconds S] [--simfront PATH]
//
// Prints figures and exits 0 whatever they are.

#include "ThostFtdcMdApi.h"
#include "ThostFtdcTraderApi.h"
#include "simprocess.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Counts callbacks by name and lets the bench wait for the next one.
class BenchSpi : public CThostFtdcTraderSpi, public CThostFtdcMdSpi
{
public:
    void OnFrontConnected() override { bump(connected); }
    void OnRspUserLogin(CThostFtdcRspUserLoginField *login, CThostFtdcRspInfoField *info, int,
                        bool last) override
    {
        if (login && (!info || info->ErrorID == 0)) {
            std::lock_guard<std::mutex> lock(mutex);
            maxOrderRef = std::atoi(login->MaxOrderRef);
        }
        if (last) {
            bump(loggedIn);
        }
    }
    void OnRspSettlementInfoConfirm(CThostFtdcSettlementInfoConfirmField *,
                                    CThostFtdcRspInfoField *, int, bool last) override
    {
        if (last) {
            bump(confirmed);
        }
    }
    void OnRtnTrade(CThostFtdcTradeField *) override { bump(trades); }
    void OnRtnOrder(CThostFtdcOrderField *order) override
    {
        if (order && order->OrderStatus == THOST_FTDC_OST_Canceled) {
            bump(cancelled);
        }
    }
    void OnRspOrderInsert(CThostFtdcInputOrderField *, CThostFtdcRspInfoField *, int, bool) override
    {
        bump(refused);
    }
    void OnErrRtnOrderInsert(CThostFtdcInputOrderField *, CThostFtdcRspInfoField *) override
    {
        bump(refused);
    }
    void OnRspSubMarketData(CThostFtdcSpecificInstrumentField *, CThostFtdcRspInfoField *, int,
                            bool) override
    {
        bump(subscribed);
    }
    void OnRtnDepthMarketData(CThostFtdcDepthMarketDataField *) override { ++ticks; }

    // Waits until counter passes value; false after the timeout.
    bool waitAbove(const int &counter, int value, int timeoutMs = 10000)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return counter > value; });
    }
    int read(const int &counter)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return counter;
    }

    std::mutex mutex;
    std::condition_variable changed;
    int connected = 0;
    int loggedIn = 0;
    int confirmed = 0;
    int trades = 0;
    int cancelled = 0;
    int refused = 0;
    int subscribed = 0;
    int maxOrderRef = 0;
    std::atomic<long> ticks{0};

private:
    void bump(int &counter)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++counter;
        }
        changed.notify_all();
    }
};

CThostFtdcReqUserLoginField loginRecord()
{
    CThostFtdcReqUserLoginField login{};
    std::strcpy(login.BrokerID, "9999");
    std::strcpy(login.UserID, "000001");
    std::strcpy(login.Password, "123456");
    return login;
}

bool startFront(SimProcess &front, const QString &program, const QString &data,
                const QStringList &extra)
{
    const QStringList args = QStringList{"--td",    "127.0.0.1:0", "--md",   "127.0.0.1:0",
                                         "--admin", "127.0.0.1:0", "--data", data} +
                             extra;
    if (!front.start(program, args, {"td", "md", "admin"})) {
        std::printf("could not start %s: %s\n", qPrintable(program),
                    qPrintable(front.errorString()));
        return false;
    }
    return true;
}

double percentile(std::vector<double> sorted, double p)
{
    if (sorted.empty()) {
        return 0;
    }
    std::sort(sorted.begin(), sorted.end());
    const std::size_t index =
        std::min(sorted.size() - 1, static_cast<std::size_t>(p * double(sorted.size())));
    return sorted[index];
}

void orderRoundTrip(const QString &program, int orders)
{
    QTemporaryDir data;
    SimProcess front;
    if (!startFront(front, program, data.path(), {})) {
        return;
    }
    BenchSpi spi;
    CThostFtdcTraderApi *api = CThostFtdcTraderApi::CreateFtdcTraderApi("");
    api->RegisterSpi(&spi);
    api->SubscribePrivateTopic(THOST_TERT_QUICK);
    api->SubscribePublicTopic(THOST_TERT_QUICK);
    QByteArray address = front.address("td").toLatin1();
    api->RegisterFront(address.data());
    api->Init();

    CThostFtdcReqUserLoginField login = loginRecord();
    CThostFtdcSettlementInfoConfirmField confirm{};
    std::strcpy(confirm.BrokerID, "9999");
    std::strcpy(confirm.InvestorID, "000001");
    if (!spi.waitAbove(spi.connected, 0) || api->ReqUserLogin(&login, 1) != 0 ||
        !spi.waitAbove(spi.loggedIn, 0) || api->ReqSettlementInfoConfirm(&confirm, 2) != 0 ||
        !spi.waitAbove(spi.confirmed, 0)) {
        std::printf("order round trip: could not log in and confirm\n");
        api->Release();
        return;
    }

    // Open one lot and close it again, alternately, so funds and position stay put. Prices sit
    // one tick inside the limits, so every order meets the opposite quote and fills.
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(orders));
    int orderRef = spi.read(spi.maxOrderRef);
    int lost = 0;
    for (int i = 0; i < orders; ++i) {
        CThostFtdcInputOrderField order{};
        std::strcpy(order.BrokerID, "9999");
        std::strcpy(order.InvestorID, "000001");
        std::strcpy(order.InstrumentID, "rb2705");
        std::snprintf(order.OrderRef, sizeof(order.OrderRef), "%d", ++orderRef);
        const bool open = i % 2 == 0;
        order.Direction = open ? THOST_FTDC_D_Buy : THOST_FTDC_D_Sell;
        order.CombOffsetFlag[0] = open ? THOST_FTDC_OF_Open : THOST_FTDC_OF_CloseToday;
        order.CombHedgeFlag[0] = THOST_FTDC_HF_Speculation;
        order.OrderPriceType = THOST_FTDC_OPT_LimitPrice;
        order.LimitPrice = open ? 3744 : 3256; // rb2705: 3500 +- 7 %, one tick inside
        order.VolumeTotalOriginal = 1;
        order.TimeCondition = THOST_FTDC_TC_IOC;
        order.VolumeCondition = THOST_FTDC_VC_CV;
        order.MinVolume = 1;
        order.ContingentCondition = THOST_FTDC_CC_Immediately;
        order.ForceCloseReason = THOST_FTDC_FCC_NotForceClose;

        const int before = spi.read(spi.trades);
        const int refusedBefore = spi.read(spi.refused) + spi.read(spi.cancelled);
        const Clock::time_point sent = Clock::now();
        if (api->ReqOrderInsert(&order, 21) != 0 || !spi.waitAbove(spi.trades, before, 5000)) {
            ++lost;
            if (spi.read(spi.refused) + spi.read(spi.cancelled) > refusedBefore) {
                std::printf("order %d was refused or cancelled; stopping\n", i);
                break;
            }
            continue;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
    }
    api->Release();

    std::printf("order round trip ReqOrderInsert -> OnRtnTrade over %zu orders: p50 %.1f us, "
                "p99 %.1f us, max %.1f us (%d without a fill)\n",
                micros.size(), percentile(micros, 0.50), percentile(micros, 0.99),
                percentile(micros, 1.0), lost);
}

void tickRate(const QString &program, int seconds)
{
    QTemporaryDir data;
    SimProcess front;
    if (!startFront(front, program, data.path(), {"--tick-ms", "1"})) {
        return;
    }
    BenchSpi spi;
    CThostFtdcMdApi *api = CThostFtdcMdApi::CreateFtdcMdApi("", false, false);
    api->RegisterSpi(&spi);
    QByteArray address = front.address("md").toLatin1();
    api->RegisterFront(address.data());
    api->Init();
    CThostFtdcReqUserLoginField login = loginRecord();
    if (!spi.waitAbove(spi.connected, 0) || api->ReqUserLogin(&login, 1) != 0 ||
        !spi.waitAbove(spi.loggedIn, 0)) {
        std::printf("ticks: could not log in\n");
        api->Release();
        return;
    }

    auto measure = [&](std::vector<std::string> instruments) {
        std::vector<char *> ids;
        for (std::string &id : instruments) {
            ids.push_back(id.data());
        }
        const int answered = spi.read(spi.subscribed);
        api->SubscribeMarketData(ids.data(), int(ids.size()));
        spi.waitAbove(spi.subscribed, answered + int(ids.size()) - 1);
        const long start = spi.ticks.load();
        const Clock::time_point begin = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
        return double(spi.ticks.load() - start) / elapsed;
    };
    const double one = measure({"rb2705"});
    std::printf("ticks per second to one subscriber, --tick-ms 1, one instrument: %.0f\n", one);
    const double all = measure({"sc2706", "m2705", "SR705", "IF2706"});
    std::printf("ticks per second to one subscriber, --tick-ms 1, five instruments: %.0f\n", all);
    api->Release();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int orders = 10000;
    int seconds = 3;
    QString program = VELMORA_SIMFRONT_EXE;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--orders") {
            orders = std::max(1, args[i + 1].toInt());
        } else if (args[i] == "--seconds") {
            seconds = std::max(1, args[i + 1].toInt());
        } else if (args[i] == "--simfront") {
            program = args[i + 1];
        }
    }
    orderRoundTrip(program, orders);
    tickRate(program, seconds);
    return 0;
}
