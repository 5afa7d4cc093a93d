// Client to simulated platform on loopback: one signal fetch and one order report, each timed
// over 1,000 calls. Every call makes its own connection, as the client does.

#include "globalvars.h"
#include "signalapi.h"
#include "simprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

const int kCalls = 1000;

// Milliseconds per call; false when a call failed.
bool timeCalls(const char *name, const std::function<bool()> &call)
{
    std::vector<double> ms;
    ms.reserve(kCalls);
    for (int i = 0; i < kCalls; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!call()) {
            std::printf("%-14s failed at call %d\n", name, i + 1);
            return false;
        }
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&ms](double q) { return ms[std::min(ms.size() - 1, size_t(q * ms.size()))]; };
    std::printf("%-14s %d calls  p50 %.3f ms  p99 %.3f ms  max %.3f ms\n", name, kCalls, at(0.50),
                at(0.99), ms.back());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir data;
    SimProcess platform;
    if (!platform.start(
            QStringLiteral(VELMORA_SIMPLATFORM_EXE),
            {"--listen", "127.0.0.1:0", "--data", data.path(), "--quiet", "--auto-signals", "3600"},
            {"listening on"})) {
        std::printf("the simulated platform did not start: %s\n",
                    qPrintable(platform.errorString()));
        return 0;
    }
    GlobalVars::baseUrl = platform.address(QStringLiteral("listening on"));
    GlobalVars::username = QStringLiteral("demo");
    GlobalVars::password = QStringLiteral("demo");
    SignalApi api;
    if (!api.login()) {
        std::printf("login failed\n");
        return 0;
    }

    timeCalls("signal fetch", [&api] {
        QJsonObject signal;
        return api.signalSimulation(&signal);
    });
    // The report leaves through the ordered worker; a call ends when the platform has answered.
    timeCalls("order report", [&api] {
        api.tradeSimulation(QStringLiteral("1234567"), QStringLiteral("0"),
                            QString::fromUtf8("多头 开仓"), 1, 3500.0, QString::fromUtf8("手动"));
        return api.waitForReports(15000);
    });
    return 0;
}
