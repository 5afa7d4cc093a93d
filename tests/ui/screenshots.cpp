// Pictures of every window in the states a user meets them, with real data from a simulated
// platform and front started for the run: ui_screenshots <output folder>.

#include "globalvars.h"
#include "messagebox.h"
#include "platformsim.h"
#include "programwindows.h"
#include "servicefront.h"
#include "signalapi.h"
#include "simprocess.h"
#include "startup.h"
#include "tradeservice.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

// Generous: the login sequence alone pauses about a second before each of its requests, and a
// signal is polled every few seconds.
const int kWaitMs = 60000;

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

template <class T> T *child(const QObject &window, const char *name)
{
    T *found = window.findChild<T *>(QString::fromLatin1(name));
    if (!found) {
        qFatal("no child %s", name);
    }
    return found;
}

// The whole run: each step either brings the windows to the next state or says why it could not.
class ScreenshotTour
{
public:
    explicit ScreenshotTour(const QString &outputDir) : output(outputDir) {}
    ~ScreenshotTour();

    bool run();

private:
    bool startSimulators();
    bool loginMessage();
    bool platformLogin();
    bool tradingLogin();
    bool statement();
    bool running();

    bool waitFor(const std::function<bool()> &condition, const char *what);
    // `ready`, when given, is checked last, with nothing able to run before the picture.
    bool save(QWidget &window, const char *file, const std::function<bool()> &ready = {});
    // How often the main window's message area holds the text.
    int mainWindowSays(const QString &text) const;
    bool noBoxes();

    QDir output;
    QTemporaryDir work;
    QTemporaryDir frontData;
    PlatformSim platform;
    SimProcess front;

    // Built once the settings file is chosen, as the program builds them after reading it.
    std::unique_ptr<ProgramWindows> windows;
};

ScreenshotTour::~ScreenshotTour()
{
    GlobalVars::signalApi->waitForReports(GlobalVars::signalApi->timeoutMs);
    GlobalVars::tradeService->release();
    windows.reset();
    front.stop();
    platform.stop();
}

bool ScreenshotTour::run()
{
    return startSimulators() && loginMessage() && platformLogin() && tradingLogin() &&
           statement() && running();
}

bool ScreenshotTour::waitFor(const std::function<bool()> &condition, const char *what)
{
    if (QTest::qWaitFor(condition, kWaitMs)) {
        return true;
    }
    std::fprintf(stderr, "ui_screenshots: gave up waiting for %s\n", what);
    return false;
}

// Boxes are only recorded here, never drawn; in this run any box means a step went wrong, and
// the picture would not show what a user sees.
bool ScreenshotTour::noBoxes()
{
    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    for (const MessageBox::Shown &box : shown) {
        std::fprintf(stderr, "ui_screenshots: box \"%s\": %s\n", qUtf8Printable(box.title),
                     qUtf8Printable(box.text));
    }
    return shown.isEmpty();
}

bool ScreenshotTour::save(QWidget &window, const char *file, const std::function<bool()> &ready)
{
    if (!noBoxes()) {
        return false;
    }
    if (!QTest::qWaitForWindowExposed(&window, kWaitMs)) {
        std::fprintf(stderr, "ui_screenshots: %s: the window was never shown\n", file);
        return false;
    }
    // Lets queued table updates and the layout settle before the picture.
    QTest::qWait(300);
    if (ready && !waitFor(ready, file)) {
        return false;
    }
    const QString path = output.filePath(QString::fromLatin1(file));
    if (!window.grab().save(path, "PNG")) {
        std::fprintf(stderr, "ui_screenshots: cannot write %s\n", qUtf8Printable(path));
        return false;
    }
    std::printf("%s\n", qUtf8Printable(path));
    return true;
}

int ScreenshotTour::mainWindowSays(const QString &text) const
{
    return child<QTextEdit>(windows->main, "textEdit")->toPlainText().count(text);
}

bool ScreenshotTour::startSimulators()
{
    // The services write log/ and flow/ below the working folder, and the settings file is
    // read from the program's folder: both go to a scratch folder.
    if (!work.isValid() || !frontData.isValid() || !QDir::setCurrent(work.path())) {
        std::fprintf(stderr, "ui_screenshots: no scratch folder\n");
        return false;
    }
    applySettingsFile(work.path());
    if (!platform.start() || !startServiceFront(front, frontData.path())) {
        std::fprintf(stderr, "ui_screenshots: the simulators did not start\n");
        return false;
    }
    // The client learns the fronts from the platform's configuration, as in production.
    const QJsonObject fronts{{"tdAddress", front.address("td")},
                             {"mdAddress", front.address("md")}};
    const QJsonObject reply =
        platform.admin("POST", QStringLiteral("/admin/config"),
                       {{"platform", QJsonObject{{"simulation", fronts}, {"real", fronts}}}});
    if (reply.value("code").toInt(-1) != 0) {
        std::fprintf(stderr, "ui_screenshots: the platform refused the front addresses\n");
        return false;
    }
    return true;
}

bool ScreenshotTour::loginMessage()
{
    windows = std::make_unique<ProgramWindows>();
    MessageWindow &messageWindow = windows->message;
    // The program shows it full screen; the picture takes a common screen size instead of
    // whatever screen the run happens to have.
    messageWindow.setWindowState(Qt::WindowNoState);
    messageWindow.setGeometry(0, 0, 1280, 800);

    messageWindow.showWindow();
    messageWindow.appendMessageText(true, 1, GlobalVars::signalApi->getLoginMessage());
    return save(messageWindow, "message-window-login.png");
}

bool ScreenshotTour::platformLogin()
{
    QTest::mouseClick(child<QPushButton>(windows->message, "okButton"), Qt::LeftButton);
    if (!waitFor([this] { return windows->site.isVisible() && !windows->message.isVisible(); },
                 "the platform login window")) {
        return false;
    }
    QTest::keyClicks(child<QLineEdit>(windows->site, "usernameText"), QStringLiteral("demo"));
    QTest::keyClicks(child<QLineEdit>(windows->site, "passwordText"), QStringLiteral("demo"));
    if (!save(windows->site, "platform-login.png")) {
        return false;
    }

    QTest::mouseClick(child<QPushButton>(windows->site, "simulation_btn"), Qt::LeftButton);
    if (!waitFor([this] { return windows->main.isVisible() && !windows->site.isVisible(); },
                 "the main window") ||
        !waitFor([] { return GlobalVars::tradeConnectionState == 0; }, "the trading connection")) {
        return false;
    }
    return save(windows->main, "main-window-before-login.png");
}

bool ScreenshotTour::tradingLogin()
{
    child<QAction>(windows->main, "loginMenuItem")->trigger();
    if (!waitFor([this] { return windows->ctp.isVisible(); }, "the trading-account dialog")) {
        return false;
    }
    QTest::keyClicks(child<QLineEdit>(windows->ctp, "investerPasswordText"),
                     QStringLiteral("123456"));
    if (!save(windows->ctp, "trading-login.png")) {
        return false;
    }
    QTest::mouseClick(child<QPushButton>(windows->ctp, "ok_btn"), Qt::LeftButton);
    // The sequence ends with the account query and the strategy made ready.
    return waitFor(
        [this] {
            return GlobalVars::strategyState == 1 && mainWindowSays(u("[查询资金账户] 完毕")) > 0 &&
                   mainWindowSays(u("[策略] 策略已停止.")) > 0;
        },
        "the trading login sequence");
}

bool ScreenshotTour::statement()
{
    // The front takes one query a second, and the login sequence has just sent its last one.
    QTest::qWait(1500);
    child<QAction>(windows->main, "actionSettlementInfo")->trigger();
    auto *ok = child<QPushButton>(windows->message, "okButton");
    if (!waitFor([this, ok] { return windows->message.isVisible() && ok->isEnabled(); },
                 "the whole settlement statement")) {
        return false;
    }
    windows->message.setGeometry(0, 0, 1280, 800);
    if (!save(windows->message, "message-window-statement.png")) {
        return false;
    }
    // The login sequence confirmed the day already; OK confirms it once more.
    const int confirmed = mainWindowSays(u("[结算单确认] 完毕"));
    QTest::mouseClick(ok, Qt::LeftButton);
    return waitFor([this] { return !windows->message.isVisible(); }, "the statement to close") &&
           waitFor([this, confirmed] { return mainWindowSays(u("[结算单确认] 完毕")) > confirmed; },
                   "the statement's confirmation");
}

bool ScreenshotTour::running()
{
    QTest::mouseClick(child<QPushButton>(windows->main, "strategyOnButton"), Qt::LeftButton);
    if (GlobalVars::strategyState != 0) {
        std::fprintf(stderr, "ui_screenshots: the strategy did not start\n");
        return false;
    }
    if (!platform.publishSignal({{"username", "demo"},
                                 {"accountType", "simulation"},
                                 {"direction", "buy"},
                                 {"openOrClose", "open"},
                                 {"ttlSeconds", 300}})) {
        std::fprintf(stderr, "ui_screenshots: the platform refused the signal\n");
        return false;
    }
    // The fill is followed by the position and then the account query, whose answers fill
    // their tables.
    if (!waitFor([] { return GlobalVars::longPosition > 0; }, "the filled order's position") ||
        !waitFor([] { return GlobalVars::currMargin > 0.0 && GlobalVars::pendingRequest == 0; },
                 "the account after the fill") ||
        !waitFor([] { return GlobalVars::lastPrice > 0.0; }, "quotes")) {
        return false;
    }
    // A few more quotes, so the instrument table shows the market moving after the fill.
    QTest::qWait(1500);
    // The run indicator blinks; the picture shows it lit.
    auto *indicator = child<QLabel>(windows->main, "labelState");
    return save(windows->main, "main-window-running.png",
                [indicator] { return indicator->text() == u("●"); });
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: ui_screenshots <output folder>\n");
        return 2;
    }
    const QString outputDir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    if (!QDir().mkpath(outputDir)) {
        std::fprintf(stderr, "ui_screenshots: cannot create %s\n", argv[1]);
        return 1;
    }
    useGb2312Locale();
    MessageBox::setTestMode(true);

    ScreenshotTour tour(outputDir);
    return tour.run() ? 0 : 1;
}
