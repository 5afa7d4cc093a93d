// Latency and capacity of our CTP API against velmora-simfront started as a process, beside the
// floor the machine itself sets:
//
// - floor: a plain TCP round trip of a 200-byte message between two threads of this program;
// - orders: ReqOrderInsert -> first OnRtnTrade of that order, one order at a time, timed inside
//   the callback;
// - fan-out: 20 market-data clients with five instruments each while the front steps its quotes
//   every millisecond: ticks delivered per second, and from just before an admin POST /quote
//   (carrying a bid volume the walk never produces) to each client's callback for it.
//
//   bench_ctpapi [--orders N] [--seconds S] [--simfront PATH]
//
// Prints figures and exits 0 whatever they are.

#include "ThostFtdcMdApi.h"
#include "ThostFtdcTraderApi.h"
#include "simprocess.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double microsSince(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double, std::micro>(end - start).count();
}

// p50/p99/max of a set of microsecond figures.
struct Spread
{
    explicit Spread(std::vector<double> values) : sorted(std::move(values))
    {
        std::sort(sorted.begin(), sorted.end());
    }
    double at(double p) const
    {
        if (sorted.empty()) {
            return 0;
        }
        const auto index = std::min(sorted.size() - 1, std::size_t(p * double(sorted.size())));
        return sorted[index];
    }
    void print(const char *what) const
    {
        std::printf("%s over %zu: p50 %.1f us, p99 %.1f us, max %.1f us\n", what, sorted.size(),
                    at(0.50), at(0.99), sorted.empty() ? 0.0 : sorted.back());
    }
    std::vector<double> sorted;
};

void printLoad(const char *when)
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    std::printf("load %s: nproc %u, loadavg %s %s %s\n", when, std::thread::hardware_concurrency(),
                one.c_str(), five.c_str(), fifteen.c_str());
}

// --- the floor ------------------------------------------------------------------------------

bool transfer(int fd, char *data, std::size_t size, bool write)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write ? ::send(fd, data + done, size - done, MSG_NOSIGNAL)
                                : ::recv(fd, data + done, size - done, 0);
        if (n <= 0) {
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

Spread loopbackFloor(int rounds)
{
    constexpr std::size_t kMessage = 200;
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof(address));
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);

    std::thread echo([listener] {
        const int fd = ::accept(listener, nullptr, nullptr);
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
        std::array<char, kMessage> buffer{};
        while (transfer(fd, buffer.data(), buffer.size(), false) &&
               transfer(fd, buffer.data(), buffer.size(), true)) {
        }
        ::close(fd);
    });
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    std::vector<double> micros;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0) {
        std::array<char, kMessage> buffer{};
        for (int i = 0; i < rounds + rounds / 10; ++i) {
            const Clock::time_point sent = Clock::now();
            if (!transfer(fd, buffer.data(), buffer.size(), true) ||
                !transfer(fd, buffer.data(), buffer.size(), false)) {
                break;
            }
            // The first tenth warms the path up and is not counted.
            if (i >= rounds / 10) {
                micros.push_back(microsSince(sent, Clock::now()));
            }
        }
    }
    ::close(fd);
    echo.join();
    ::close(listener);
    return Spread(std::move(micros));
}

// --- the simulated front --------------------------------------------------------------------

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

bool adminPost(const SimProcess &front, const char *path, const std::string &body)
{
    httplib::Client http(front.address("admin").toStdString());
    const auto answer = http.Post(path, body, "application/json");
    if (!answer || answer->status != 200) {
        std::printf("POST %s failed: %s\n", path,
                    answer ? answer->body.c_str() : httplib::to_string(answer.error()).c_str());
        return false;
    }
    return true;
}

CThostFtdcReqUserLoginField loginRecord()
{
    CThostFtdcReqUserLoginField login{};
    std::strcpy(login.BrokerID, "9999");
    std::strcpy(login.UserID, "000001");
    std::strcpy(login.Password, "123456");
    return login;
}

// Session steps of either API: connected, logged in, confirmed, subscribed, each a counter the
// bench waits on.
class SessionSpi
{
public:
    bool waitAbove(const int &counter, int value, int timeoutMs = 10000)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return counter > value; });
    }

    template <typename F> void update(F &&change)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            change();
        }
        changed.notify_all();
    }

    std::mutex mutex;
    std::condition_variable changed;
    int connected = 0;
    int loggedIn = 0;
    int confirmed = 0;
    int subscribed = 0;
    int maxOrderRef = 0;
};

// --- orders ---------------------------------------------------------------------------------

// Follows one order at a time: when its first trade arrived, and when it is over (its final
// report and all its trades in, whichever came first).
class OrderSpi : public CThostFtdcTraderSpi, public SessionSpi
{
public:
    void OnFrontConnected() override
    {
        update([&] { ++connected; });
    }
    void OnRspUserLogin(CThostFtdcRspUserLoginField *login, CThostFtdcRspInfoField *info, int,
                        bool) override
    {
        update([&] {
            if (login && (!info || info->ErrorID == 0)) {
                maxOrderRef = std::atoi(login->MaxOrderRef);
                ++loggedIn;
            }
        });
    }
    void OnRspSettlementInfoConfirm(CThostFtdcSettlementInfoConfirmField *,
                                    CThostFtdcRspInfoField *info, int, bool) override
    {
        update([&] {
            if (!info || info->ErrorID == 0) {
                ++confirmed;
            }
        });
    }
    void OnRtnTrade(CThostFtdcTradeField *trade) override
    {
        const Clock::time_point now = Clock::now();
        if (!trade || std::atoi(trade->OrderRef) != current.load()) {
            return;
        }
        update([&] {
            if (tradedVolume == 0) {
                firstTrade = now;
            }
            tradedVolume += trade->Volume;
        });
    }
    void OnRtnOrder(CThostFtdcOrderField *order) override
    {
        if (!order || std::atoi(order->OrderRef) != current.load()) {
            return;
        }
        if (order->OrderStatus == THOST_FTDC_OST_AllTraded ||
            order->OrderStatus == THOST_FTDC_OST_Canceled) {
            // The waiting thread is woken only once the order is over: a final report ahead of
            // its trades would wake it for nothing, on the API's thread in the middle of the
            // path being timed.
            bool over = false;
            {
                std::lock_guard<std::mutex> lock(mutex);
                finalVolume = order->VolumeTraded;
                final = true;
                reason = order->StatusMsg;
                over = tradedVolume >= finalVolume;
            }
            if (over) {
                changed.notify_all();
            }
        }
    }
    void OnRspOrderInsert(CThostFtdcInputOrderField *, CThostFtdcRspInfoField *, int, bool) override
    {
        update([&] { refused = true; });
    }
    void OnErrRtnOrderInsert(CThostFtdcInputOrderField *, CThostFtdcRspInfoField *) override
    {
        update([&] { refused = true; });
    }

    void follow(int orderRef)
    {
        std::lock_guard<std::mutex> lock(mutex);
        current = orderRef;
        tradedVolume = 0;
        finalVolume = 0;
        final = false;
        refused = false;
        reason.clear();
    }
    // True when the order is over within the time-out.
    bool waitOver(int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [&] { return refused || (final && tradedVolume >= finalVolume); });
    }

    std::atomic<int> current{-1};
    int tradedVolume = 0;
    int finalVolume = 0;
    bool final = false;
    bool refused = false;
    std::string reason; // ErrorID of a refusal, or the GB2312 status text of a cancel
    Clock::time_point firstTrade;
};

CThostFtdcInputOrderField marketableOrder(int orderRef, bool open)
{
    CThostFtdcInputOrderField order{};
    std::strcpy(order.BrokerID, "9999");
    std::strcpy(order.InvestorID, "000001");
    std::strcpy(order.InstrumentID, "rb2705");
    std::snprintf(order.OrderRef, sizeof(order.OrderRef), "%d", orderRef);
    order.Direction = open ? THOST_FTDC_D_Buy : THOST_FTDC_D_Sell;
    order.CombOffsetFlag[0] = open ? THOST_FTDC_OF_Open : THOST_FTDC_OF_CloseToday;
    order.CombHedgeFlag[0] = THOST_FTDC_HF_Speculation;
    order.OrderPriceType = THOST_FTDC_OPT_LimitPrice;
    // A fresh front's rb2705 band is 3500 +- 7 %; its quotes stay inside the band, so one tick
    // inside a limit always meets the opposite side.
    order.LimitPrice = open ? 3744 : 3256;
    order.VolumeTotalOriginal = 1;
    order.TimeCondition = THOST_FTDC_TC_IOC;
    order.VolumeCondition = THOST_FTDC_VC_AV;
    order.MinVolume = 1;
    order.ContingentCondition = THOST_FTDC_CC_Immediately;
    order.ForceCloseReason = THOST_FTDC_FCC_NotForceClose;
    return order;
}

// One lot opened and closed again, alternately, so funds and position stay put.
Spread orderRoundTrip(const QString &program, int orders, int &unfilled)
{
    unfilled = 0;
    QTemporaryDir data;
    SimProcess front;
    // Fills take volume off the book, so the walk is paused under a book too deep to run dry.
    if (!startFront(front, program, data.path(), {}) || !adminPost(front, "/quotes/pause", "{}") ||
        !adminPost(front, "/quote",
                   R"({"instrument": "rb2705", "last": 3500, "bid": 3500, "ask": 3501, )"
                   R"("bidVolume": 1000000, "askVolume": 1000000})")) {
        return Spread({});
    }
    OrderSpi spi;
    const QTemporaryDir flowDir;
    const QByteArray flow = (flowDir.path() + "/").toLocal8Bit();
    CThostFtdcTraderApi *api = CThostFtdcTraderApi::CreateFtdcTraderApi(flow.constData());
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
    std::vector<double> micros;
    if (!spi.waitAbove(spi.connected, 0) || api->ReqUserLogin(&login, 1) != 0 ||
        !spi.waitAbove(spi.loggedIn, 0) || api->ReqSettlementInfoConfirm(&confirm, 2) != 0 ||
        !spi.waitAbove(spi.confirmed, 0)) {
        std::printf("orders: could not log in and confirm\n");
        api->Release();
        return Spread({});
    }
    micros.reserve(std::size_t(orders));
    int orderRef = spi.maxOrderRef;
    for (int i = 0; i < orders; ++i) {
        CThostFtdcInputOrderField order = marketableOrder(++orderRef, i % 2 == 0);
        spi.follow(orderRef);
        const Clock::time_point sent = Clock::now();
        if (api->ReqOrderInsert(&order, 100 + i) != 0 || !spi.waitOver(5000)) {
            std::printf("orders: order %d went unanswered; stopping\n", i);
            break;
        }
        std::lock_guard<std::mutex> lock(spi.mutex);
        if (spi.refused || spi.tradedVolume == 0) {
            // Without its close the next order would be refused too.
            ++unfilled;
            std::printf("orders: order %d was refused or cancelled (%s); stopping\n", i,
                        spi.reason.c_str());
            break;
        }
        micros.push_back(microsSince(sent, spi.firstTrade));
    }
    api->Release();
    // Which orders waited: housekeeping at fixed counts shows as the same numbers in every run.
    std::string slow;
    for (std::size_t i = 0; i < micros.size(); ++i) {
        if (micros[i] > 5000) {
            slow +=
                " #" + std::to_string(i) + " (" + std::to_string(int(micros[i] / 1000)) + " ms)";
        }
    }
    if (!slow.empty()) {
        std::printf("orders over 5 ms:%s\n", slow.c_str());
    }
    return Spread(std::move(micros));
}

// --- market-data fan-out --------------------------------------------------------------------

// Bid volumes at and above this mark a sampled quote; the walk's own stay far below.
constexpr int kMarker = 1000000;

// Counts every tick, and notes when each marked quote arrived.
class FanOutSpi : public CThostFtdcMdSpi, public SessionSpi
{
public:
    explicit FanOutSpi(std::size_t samples) : arrivals(samples) {}

    void OnFrontConnected() override
    {
        update([&] { ++connected; });
    }
    void OnRspUserLogin(CThostFtdcRspUserLoginField *, CThostFtdcRspInfoField *info, int,
                        bool) override
    {
        update([&] {
            if (!info || info->ErrorID == 0) {
                ++loggedIn;
            }
        });
    }
    void OnRspSubMarketData(CThostFtdcSpecificInstrumentField *, CThostFtdcRspInfoField *, int,
                            bool) override
    {
        update([&] { ++subscribed; });
    }
    void OnRtnDepthMarketData(CThostFtdcDepthMarketDataField *md) override
    {
        const Clock::time_point now = Clock::now();
        ticks.fetch_add(1, std::memory_order_relaxed);
        if (!md || md->BidVolume1 < kMarker) {
            return;
        }
        const std::size_t sample = std::size_t(md->BidVolume1 - kMarker);
        std::int64_t none = 0;
        if (sample < arrivals.size()) {
            arrivals[sample].compare_exchange_strong(none, now.time_since_epoch().count());
        }
    }

    std::atomic<long> ticks{0};
    std::vector<std::atomic<std::int64_t>> arrivals;
};

struct FanOut
{
    double ticksPerSecond = 0;
    Spread latency{{}};
    Spread post{{}};
    int clients = 0;
    int missed = 0;
};

FanOut fanOut(const QString &program, int seconds)
{
    constexpr int kClients = 20;
    constexpr int kSampleEveryMs = 20;
    const std::vector<std::string> instruments{"rb2705", "sc2706", "m2705", "SR705", "IF2706"};
    const std::size_t samples = std::size_t(seconds * 1000 / kSampleEveryMs);
    FanOut result;

    QTemporaryDir data;
    SimProcess front;
    if (!startFront(front, program, data.path(), {"--tick-ms", "1"})) {
        return result;
    }
    std::string address = front.address("md").toStdString();
    std::vector<std::unique_ptr<FanOutSpi>> spis;
    std::vector<CThostFtdcMdApi *> apis;
    const QTemporaryDir flowDir;
    const QByteArray flow = (flowDir.path() + "/").toLocal8Bit();
    for (int c = 0; c < kClients; ++c) {
        spis.push_back(std::make_unique<FanOutSpi>(samples));
        CThostFtdcMdApi *api = CThostFtdcMdApi::CreateFtdcMdApi(flow.constData(), false, false);
        api->RegisterSpi(spis.back().get());
        api->RegisterFront(address.data());
        api->Init();
        apis.push_back(api);
    }
    std::vector<std::string> ids = instruments;
    std::vector<char *> idPointers;
    for (std::string &id : ids) {
        idPointers.push_back(id.data());
    }
    for (int c = 0; c < kClients; ++c) {
        CThostFtdcReqUserLoginField login = loginRecord();
        FanOutSpi &spi = *spis[std::size_t(c)];
        if (!spi.waitAbove(spi.connected, 0) ||
            apis[std::size_t(c)]->ReqUserLogin(&login, 1) != 0 || !spi.waitAbove(spi.loggedIn, 0) ||
            apis[std::size_t(c)]->SubscribeMarketData(idPointers.data(), int(ids.size())) != 0 ||
            !spi.waitAbove(spi.subscribed, int(ids.size()) - 1)) {
            std::printf("fan-out: client %d could not subscribe\n", c);
            break;
        }
        ++result.clients;
    }

    httplib::Client http(front.address("admin").toStdString());
    http.set_tcp_nodelay(true);
    http.set_keep_alive(true);
    std::vector<Clock::time_point> posted(samples);
    std::vector<double> postMicros;
    long ticksBefore = 0;
    for (const auto &spi : spis) {
        ticksBefore += spi->ticks.load();
    }
    const Clock::time_point begin = Clock::now();
    for (std::size_t s = 0; s < samples && result.clients == kClients; ++s) {
        const Clock::time_point due = begin + std::chrono::milliseconds(kSampleEveryMs * s);
        std::this_thread::sleep_until(due);
        const std::string body = "{\"instrument\": \"" + instruments[s % instruments.size()] +
                                 "\", \"bidVolume\": " + std::to_string(kMarker + s) + "}";
        posted[s] = Clock::now();
        const auto answer = http.Post("/quote", body, "application/json");
        postMicros.push_back(microsSince(posted[s], Clock::now()));
        if (!answer || answer->status != 200) {
            std::printf("fan-out: POST /quote failed: %s\n",
                        answer ? answer->body.c_str() : httplib::to_string(answer.error()).c_str());
            break;
        }
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
    long ticksAfter = 0;
    for (const auto &spi : spis) {
        ticksAfter += spi->ticks.load();
    }
    result.ticksPerSecond = double(ticksAfter - ticksBefore) / elapsed;
    // Late marked quotes are still counted: give them a moment to arrive before reading.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::vector<double> latency;
    for (std::size_t s = 0; s < postMicros.size(); ++s) {
        for (const auto &spi : spis) {
            const std::int64_t at = spi->arrivals[s].load();
            if (at == 0) {
                ++result.missed;
                continue;
            }
            latency.push_back(microsSince(posted[s], Clock::time_point(Clock::duration(at))));
        }
    }
    for (CThostFtdcMdApi *api : apis) {
        api->Release();
    }
    result.latency = Spread(std::move(latency));
    result.post = Spread(std::move(postMicros));
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int orders = 10000;
    int seconds = 5;
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
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    printLoad("before");

    const Spread floor = loopbackFloor(orders);
    floor.print("loopback floor: TCP round trip of 200 bytes between two threads");

    int unfilled = 0;
    const Spread order = orderRoundTrip(program, orders, unfilled);
    order.print("order round trip ReqOrderInsert -> OnRtnTrade");
    if (floor.at(0.5) > 0) {
        std::printf("ratio %.2f (order round trip p50 / loopback floor p50); order round trip p50 "
                    "%.1f us, p99 %.1f us, max %.1f us\n",
                    order.at(0.5) / floor.at(0.5), order.at(0.5), order.at(0.99),
                    order.sorted.empty() ? 0.0 : order.sorted.back());
    }

    const FanOut md = fanOut(program, seconds);
    std::printf("fan-out: %d clients x 5 instruments, --tick-ms 1: %.0f ticks/s delivered in "
                "total (100000 if every 1 ms step reached everyone)\n",
                md.clients, md.ticksPerSecond);
    md.latency.print("fan-out: POST /quote sent -> OnRtnDepthMarketData of each client");
    md.post.print("fan-out: POST /quote answered (the admin hop alone)");
    if (md.missed > 0) {
        std::printf("fan-out: %d marked quotes never arrived\n", md.missed);
    }
    printLoad("after");
    return 0;
}
