// Signal to order on loopback: the platform publishes a signal, the strategy's analysis fetches
// it and the trading service sends its order; the time runs from the call of analyze() to the
// order's arrival at the front, as the front stamps it. The platform round trip (one signal
// fetch) is most of the path and the floor under it. It is measured in the same run twice: back
// to back, and at the point of the loop where the path starts, after the same pause and calls.
// A fetch after the pause takes longer than one of a tight loop (the threads of both processes
// wake from sleep), and the path pays that too; the second is the like-for-like floor.

#include "globalvars.h"
#include "platformsim.h"
#include "servicefront.h"
#include "signalanalyze.h"
#include "signalapi.h"
#include "simprocess.h"
#include "tradeservice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

const int kSignals = 200;
const int kWaitMs = 20000;

struct Percentiles
{
    double p50;
    double p99;
    double max;
};

Percentiles percentiles(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    const auto at = [&ms](double q) { return ms[std::min(ms.size() - 1, size_t(q * ms.size()))]; };
    return {at(0.50), at(0.99), ms.back()};
}

long long wallMicros()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

// The front's arrival stamps of the orders it received, oldest first.
std::vector<long long> orderArrivals(const SimProcess &front)
{
    const QUrl url(front.address("admin"));
    httplib::Client client(url.host().toStdString(), url.port());
    const auto result = client.Get("/requests?type=ReqOrderInsert&front=td");
    std::vector<long long> micros;
    if (!result || result->status != 200) {
        return micros;
    }
    const QJsonArray requests =
        QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).array();
    for (const QJsonValue &request : requests) {
        micros.push_back(static_cast<long long>(request.toObject().value("micros").toDouble()));
    }
    return micros;
}

double fetchMs(SignalApi &signalApi)
{
    QJsonObject signal;
    QElapsedTimer timer;
    timer.start();
    signalApi.signalSimulation(&signal);
    return double(timer.nsecsElapsed()) / 1e6;
}

bool logInToFront(TradeService &trading)
{
    return trading.init() == 0 &&
           QTest::qWaitFor([] { return GlobalVars::tradeConnectionState == 0; }, kWaitMs) &&
           trading.reqUserLogin(11) == 0 &&
           QTest::qWaitFor([] { return GlobalVars::strategyState == 1; }, kWaitMs) &&
           QTest::qWaitFor([] { return GlobalVars::lastPrice > 0; }, kWaitMs);
}

// The position the order left, once the refresh after its fill has come back. An order that
// found nothing to take leaves the position as it was, and the wait for the change ends early.
bool positionSettled(bool wasFlat)
{
    (void)QTest::qWaitFor([wasFlat] { return (GlobalVars::longPosition == 0) != wasFlat; }, 3000);
    return QTest::qWaitFor([] { return GlobalVars::pendingRequest == 0; }, kWaitMs);
}

// The services' message lines would bury the figures; failures still show.
void keepFailuresOnly(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(keepFailuresOnly);
    qputenv("VELMORA_CTPAPI_QUERIES_PER_SECOND", "100");

    PlatformSim platform;
    QTemporaryDir frontData;
    SimProcess front;
    if (!platform.start() || !startServiceFront(front, frontData.path())) {
        std::printf("the simulators did not start\n");
        return 1;
    }
    PlatformSim::useDemoUser();
    SignalApi *signalApi = GlobalVars::signalApi;
    if (!signalApi->login() || !signalApi->getConfig()) {
        std::printf("the platform login failed\n");
        return 1;
    }
    // getConfig() named the configured fronts; this run's front listens elsewhere.
    GlobalVars::tdAddress = front.address("td");
    GlobalVars::mdAddress = front.address("md");
    GlobalVars::investerPassword = QStringLiteral("123456");
    TradeService &trading = *GlobalVars::tradeService;
    // Short pauses in the refresh after each fill; the pacing is not what is measured.
    trading.chainDelayMs = 200;
    if (!logInToFront(trading)) {
        std::printf("the trading login failed\n");
        return 1;
    }

    std::vector<double> backToBack;
    for (int i = 0; i < kSignals; ++i) {
        backToBack.push_back(fetchMs(*signalApi));
    }

    // Running, as the start button leaves it: only a running strategy acts on a signal.
    GlobalVars::strategyState = 0;
    std::vector<double> signalToOrder;
    std::vector<double> roundTrips;
    for (int i = 0; i < 2 * kSignals; ++i) {
        // Open and close in turn, so the account's funds never run out.
        const bool flat = GlobalVars::longPosition == 0;
        const QJsonObject published{{"username", "demo"},
                                    {"accountType", "simulation"},
                                    {"direction", flat ? "buy" : "sell"},
                                    {"openOrClose", flat ? "open" : "close"}};
        if (!platform.publishSignal(published)) {
            std::printf("publishing signal %d failed\n", i + 1);
            return 1;
        }
        const size_t ordersBefore = orderArrivals(front).size();
        // Every other signal measures the floor where the path would start, after the same
        // pause and the same calls; its analysis, one fetch later, is not measured.
        const bool floorTurn = i % 2 == 1;
        if (floorTurn) {
            roundTrips.push_back(fetchMs(*signalApi));
        }
        const long long started = wallMicros();
        GlobalVars::signalAnalyze->analyze();
        std::vector<long long> arrivals;
        if (!QTest::qWaitFor(
                [&] {
                    arrivals = orderArrivals(front);
                    return arrivals.size() > ordersBefore;
                },
                kWaitMs)) {
            std::printf("signal %d brought no order\n", i + 1);
            return 1;
        }
        if (!floorTurn) {
            signalToOrder.push_back(double(arrivals[ordersBefore] - started) / 1000.0);
        }
        if (!positionSettled(flat)) {
            std::printf("the refresh after signal %d did not end\n", i + 1);
            return 1;
        }
    }
    trading.release();
    signalApi->waitForReports(signalApi->timeoutMs);

    const Percentiles warm = percentiles(backToBack);
    const Percentiles platformTrip = percentiles(roundTrips);
    const Percentiles order = percentiles(signalToOrder);
    std::printf("platform round trip, back to back: p50 %.3f ms, p99 %.3f ms (%d signal fetches)\n",
                warm.p50, warm.p99, kSignals);
    std::printf("platform round trip where the path starts: p50 %.3f ms, p99 %.3f ms (%d signal "
                "fetches)\n",
                platformTrip.p50, platformTrip.p99, kSignals);
    std::printf("signal to order: p50 %.3f ms, p99 %.3f ms (max %.3f ms, %d signals)\n", order.p50,
                order.p99, order.max, kSignals);
    std::printf("ratio to the platform round trip where the path starts: p50 %.2f (back to back: "
                "%.2f)\n",
                order.p50 / platformTrip.p50, order.p50 / warm.p50);
    return 0;
}
