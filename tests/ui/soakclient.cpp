// The client process of the week. It talks to the harness that started it one line at a time:
// on stdout "ready" once logged in with the strategy running, "state C L M S" when the trading
// connection, trading login, market-data login or strategy state changes, "refused N" for each
// order the broker refused with ErrorID N, "retry <why>" and "failed <why>" for login steps that
// did not come through, and "stopped" at the end; on stdin "quit" (or the end of the input, the
// harness gone) stops the strategy, lets the queued reports go out and ends the process.

#include "clientdriver.h"
#include "clock.h"
#include "globalvars.h"
#include "logging.h"
#include "signalapi.h"
#include "soak.h"

#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <httplib.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {

// A login step may meet a front that just closed; the step is tried again after this long.
const int kStepWaitMs = 45000;

void tell(const QString &line)
{
    std::printf("%s\n", qUtf8Printable(line));
    std::fflush(stdout);
}

// The harness moves the front's exchange clock through the week; the program's own clock must
// read the same time, or its reconnection before the session opens would never fall due. Polled
// on a thread of its own, so a GUI thread inside a nested platform wait does not hold it back.
class ClockFollower
{
public:
    explicit ClockFollower(const QString &adminUrl)
        : host(QUrl(adminUrl).host().toStdString()), port(QUrl(adminUrl).port())
    {
    }
    ~ClockFollower()
    {
        stopping = true;
        if (thread.joinable()) {
            thread.join();
        }
    }

    bool follow()
    {
        httplib::Client admin(host, port);
        admin.set_connection_timeout(1);
        admin.set_read_timeout(2);
        const auto status = admin.Get("/status");
        if (!status || status->status != 200) {
            return false;
        }
        const QString text = QJsonDocument::fromJson(QByteArray::fromStdString(status->body))
                                 .object()
                                 .value("clock")
                                 .toString();
        // Whole seconds: the front's time lies somewhere in the second it shows.
        const QDateTime front =
            QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss")).addMSecs(500);
        if (!front.isValid()) {
            return false;
        }
        if (qAbs(Clock::now().msecsTo(front)) > 1500) {
            Clock::runFrom(front);
        }
        return true;
    }

    void start()
    {
        thread = std::thread([this] {
            while (!stopping) {
                follow();
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
            }
        });
    }

private:
    std::string host;
    int port;
    std::atomic<bool> stopping{false};
    std::thread thread;
};

// The program's own log handler stays in charge; the broker's refusals are told to the harness
// on the way, since the front keeps no record of an order it refused.
void watchLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    static const QRegularExpression refusal(
        QStringLiteral("\\[报单录入错误\\] 返回码：\\s*(-?\\d+)"));
    const QRegularExpressionMatch match = refusal.match(message);
    if (match.hasMatch()) {
        tell(QStringLiteral("refused ") + match.captured(1));
    }
    messageHandler(type, context, message);
}

QString stateLine()
{
    return QStringLiteral("state %1 %2 %3 %4")
        .arg(GlobalVars::tradeConnectionState.load())
        .arg(GlobalVars::tradeLoginState.load())
        .arg(GlobalVars::mdLoginState.load())
        .arg(GlobalVars::strategyState.load());
}

bool waitUnlessQuit(const std::function<bool()> &condition, const bool &quit)
{
    while (!quit) {
        if (QTest::qWaitFor(condition, 1000)) {
            return true;
        }
    }
    return false;
}

// Platform login, then the trading login once the front serves (it may be closed for the night
// or the weekend), tried again as a user would when the front closes in between.
bool logIn(ClientDriver &driver, const bool &quit)
{
    if (!driver.showLoginMessage() || !driver.acknowledgeLoginMessage()) {
        tell(QStringLiteral("failed ") + driver.failure());
        return false;
    }
    if (!driver.logInToPlatform(QStringLiteral("demo"), QStringLiteral("demo")) &&
        !driver.windows().main.isVisible()) {
        tell(QStringLiteral("failed ") + driver.failure());
        return false;
    }
    while (waitUnlessQuit([] { return GlobalVars::tradeConnectionState == 0; }, quit)) {
        if (driver.logInToTradingAccount(QStringLiteral("123456"))) {
            if (driver.startStrategy()) {
                return true;
            }
        }
        tell(QStringLiteral("retry ") + driver.failure());
        QTest::qWait(1000);
    }
    return false;
}

} // namespace

int runClient(const QStringList &arguments)
{
    const QString work = argumentAfter(arguments, QStringLiteral("--work"));
    const QString platform = argumentAfter(arguments, QStringLiteral("--platform-url"));
    const QString frontAdmin = argumentAfter(arguments, QStringLiteral("--front-admin"));
    if (work.isEmpty() || platform.isEmpty() || frontAdmin.isEmpty()) {
        tell(QStringLiteral("failed: --client needs --work, --platform-url and --front-admin"));
        return 2;
    }

    ClockFollower clock(frontAdmin);
    clock.follow();
    clock.start();

    ClientDriver driver(kStepWaitMs);
    if (!driver.attach(platform, work)) {
        tell(QStringLiteral("failed ") + driver.failure());
        return 2;
    }
    // As the program runs: its log files under the working folder.
    qInstallMessageHandler(watchLog);

    bool quit = false;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&quit, &input] {
        char buffer[256];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0 || QByteArray(buffer, int(got)).contains("quit")) {
            input.setEnabled(false);
            quit = true;
        }
    });
    QString lastState;
    QTimer stateWatch;
    QObject::connect(&stateWatch, &QTimer::timeout, [&lastState] {
        const QString state = stateLine();
        if (state != lastState) {
            lastState = state;
            tell(state);
        }
    });
    stateWatch.start(200);

    if (logIn(driver, quit)) {
        tell(QStringLiteral("ready"));
    } else if (!quit) {
        return 3;
    }
    waitUnlessQuit([] { return false; }, quit);

    if (GlobalVars::strategyState == 0) {
        driver.stopStrategy();
    }
    (void)QTest::qWaitFor([] { return GlobalVars::pendingRequest == 0; }, 30000);
    // The refresh after a late fill, then whatever reports are still queued.
    QTest::qWait(2000);
    if (!GlobalVars::signalApi->waitForReports(60000)) {
        tell(QStringLiteral("failed: reports still queued after a minute"));
    }
    stateWatch.stop();
    tell(QStringLiteral("stopped"));
    return 0;
}
