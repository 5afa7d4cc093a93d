// The main window logged in, strategy running, all three tables visible, against the simulators.
// Two phases: quotes at a given rate (GUI-thread busy share and resident memory), then quotes at
// the front's normal pace (the whole process's CPU share, which should be close to nothing).
//
//   bench_gui [--ticks-per-second N] [--seconds S] [--idle-seconds S]

#include "globalvars.h"
#include "mainwindow.h"
#include "platformsim.h"
#include "servicefront.h"
#include "signalapi.h"
#include "signalobject.h"
#include "simprocess.h"
#include "tradeservice.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <ctime>

namespace {

const int kWaitMs = 30000;

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Kilobytes of a /proc/self/status line such as "VmRSS:".
long statusKb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key)) {
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLong();
        }
    }
    return -1;
}

void keepFailuresOnly(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtCriticalMsg || type == QtFatalMsg) {
        // The services log every request as critical; only the bench's own lines matter here.
        if (text.startsWith(QLatin1String("bench:"))) {
            std::fprintf(stderr, "%s\n", qPrintable(text));
        }
    }
}

// The event loop as the program runs it: asleep until something happens. QTest::qWait would
// wake every few milliseconds and measure itself.
void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int argument(const QStringList &args, const QString &name, int fallback)
{
    const int at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1).toInt() : fallback;
}

// Queued calls that reach the window: the relays of the market data and trading callbacks.
class RelayCounter : public QObject
{
public:
    int calls = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MetaCall) {
            ++calls;
        }
        return false;
    }
};

struct Session
{
    PlatformSim platform;
    QTemporaryDir frontData;
    SimProcess front;
};

// Platform login, main window, trading login and its sequence, strategy started.
bool bringUp(Session &session, MainWindow &window, int tickMs)
{
    if (!session.platform.start() || !startServiceFront(session.front, session.frontData.path(),
                                                        {"--tick-ms", QString::number(tickMs)})) {
        std::printf("the simulators did not start\n");
        return false;
    }
    const QString td = GlobalVars::tdAddress, md = GlobalVars::mdAddress;
    PlatformSim::useDemoUser();
    if (!GlobalVars::signalApi->login() || !GlobalVars::signalApi->getConfig()) {
        std::printf("the platform login failed\n");
        return false;
    }
    GlobalVars::tdAddress = td;
    GlobalVars::mdAddress = md;
    GlobalVars::investerPassword = QStringLiteral("123456");
    GlobalVars::tradeService->chainDelayMs = 100;
    SignalObject::setMainWindow(&window);
    window.showMainWindow(true);
    if (!QTest::qWaitFor([] { return GlobalVars::tradeConnectionState == 0; }, kWaitMs) ||
        GlobalVars::tradeService->reqUserLogin(11) != 0 ||
        !QTest::qWaitFor([] { return GlobalVars::strategyState == 1; }, kWaitMs) ||
        !QTest::qWaitFor([] { return GlobalVars::lastPrice > 0; }, kWaitMs)) {
        std::printf("the trading login did not complete\n");
        return false;
    }
    QMetaObject::invokeMethod(&window, "start_btn_click");
    return GlobalVars::strategyState == 0;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    qInstallMessageHandler(keepFailuresOnly);
    qputenv("VELMORA_CTPAPI_QUERIES_PER_SECOND", "100");
    const QStringList args = app.arguments();
    const int ticksPerSecond =
        std::max(1, argument(args, QStringLiteral("--ticks-per-second"), 100));
    const int busySeconds = argument(args, QStringLiteral("--seconds"), 30);
    const int idleSeconds = argument(args, QStringLiteral("--idle-seconds"), 60);

    const long startKb = statusKb("VmRSS:");
    double gui = 0, relayRate = 0, rssMb = 0, peakMb = 0, idle = 0;
    {
        Session session;
        MainWindow window;
        if (!bringUp(session, window, 1000 / ticksPerSecond)) {
            return 1;
        }
        RelayCounter relays;
        window.installEventFilter(&relays);
        QElapsedTimer wall;
        wall.start();
        const double cpu = threadCpuSeconds();
        runEventLoopFor(busySeconds * 1000);
        const double seconds = double(wall.nsecsElapsed()) / 1e9;
        gui = (threadCpuSeconds() - cpu) / seconds;
        relayRate = relays.calls / seconds;
        rssMb = statusKb("VmRSS:") / 1024.0;
        peakMb = statusKb("VmHWM:") / 1024.0;
        window.stop_btn_click();
        GlobalVars::tradeService->release();
    }
    {
        Session session;
        MainWindow window;
        if (!bringUp(session, window, 500)) {
            return 1;
        }
        // Let the start-up work settle before measuring rest.
        QTest::qWait(2000);
        QElapsedTimer wall;
        wall.start();
        const double cpu = processCpuSeconds();
        runEventLoopFor(idleSeconds * 1000);
        idle = (processCpuSeconds() - cpu) / (double(wall.nsecsElapsed()) / 1e9);
        GlobalVars::tradeService->release();
    }
    GlobalVars::signalApi->waitForReports(GlobalVars::signalApi->timeoutMs);

    std::printf("gui at %d ticks/s, all tables visible: GUI thread busy %.1f %% over %d s "
                "(%.0f window updates/s arrived)\n",
                ticksPerSecond, 100 * gui, busySeconds, relayRate);
    std::printf("gui resident memory: %.1f MB (peak %.1f MB, %.1f MB before the windows)\n", rssMb,
                peakMb, startKb / 1024.0);
    std::printf("idle with the strategy running (2 ticks/s): process CPU %.2f %% over %d s\n",
                100 * idle, idleSeconds);
    return 0;
}
