// Pictures of every window in the states a user meets them, with real data from a simulated
// platform and front started for the run: ui_screenshots <output folder>.

#include "activitywindow.h"
#include "clientdriver.h"
#include "globalvars.h"
#include "startup.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include <cstdio>
#include <functional>

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

// The whole run: each step either brings the windows to the next state or says why it could not.
class ScreenshotTour
{
public:
    explicit ScreenshotTour(const QString &outputDir) : output(outputDir) {}

    bool run();
    QString failure() const { return failureText.isEmpty() ? driver.failure() : failureText; }

private:
    bool loginMessage();
    bool platformLogin();
    bool tradingLogin();
    bool statement();
    bool running();
    bool activity();

    // `ready`, when given, is checked last, with nothing able to run before the picture.
    bool save(QWidget &window, const char *file, const std::function<bool()> &ready = {});

    QDir output;
    ClientDriver driver;
    QString failureText;
};

bool ScreenshotTour::run()
{
    return driver.startSimulators() && loginMessage() && platformLogin() && tradingLogin() &&
           statement() && running() && activity();
}

bool ScreenshotTour::save(QWidget &window, const char *file, const std::function<bool()> &ready)
{
    // In this run any box means a step went wrong, and the picture would not show what a user
    // sees.
    if (!driver.noBoxes()) {
        return false;
    }
    if (!QTest::qWaitForWindowExposed(&window, 60000)) {
        failureText = QStringLiteral("%1: the window was never shown").arg(file);
        return false;
    }
    // Lets queued table updates and the layout settle before the picture.
    QTest::qWait(300);
    if (ready && !driver.waitFor(ready, QString::fromLatin1(file))) {
        return false;
    }
    const QString path = output.filePath(QString::fromLatin1(file));
    if (!window.grab().save(path, "PNG")) {
        failureText = QStringLiteral("cannot write ") + path;
        return false;
    }
    std::printf("%s\n", qUtf8Printable(path));
    return true;
}

bool ScreenshotTour::loginMessage()
{
    if (!driver.showLoginMessage()) {
        return false;
    }
    // The program shows it full screen; the picture takes a common screen size instead of
    // whatever screen the run happens to have.
    MessageWindow &message = driver.windows().message;
    message.setWindowState(Qt::WindowNoState);
    message.setGeometry(0, 0, 1280, 800);
    return save(message, "message-window-login.png");
}

bool ScreenshotTour::platformLogin()
{
    if (!driver.acknowledgeLoginMessage()) {
        return false;
    }
    LoginSite &site = driver.windows().site;
    QTest::keyClicks(site.findChild<QLineEdit *>("usernameText"), QStringLiteral("demo"));
    QTest::keyClicks(site.findChild<QLineEdit *>("passwordText"), QStringLiteral("demo"));
    return save(site, "platform-login.png") &&
           driver.logInToPlatform(QStringLiteral("demo"), QStringLiteral("demo")) &&
           save(driver.windows().main, "main-window-before-login.png");
}

bool ScreenshotTour::tradingLogin()
{
    MainWindow &main = driver.windows().main;
    LoginCTP &ctp = driver.windows().ctp;
    main.findChild<QAction *>("loginMenuItem")->trigger();
    if (!driver.waitFor([&ctp] { return ctp.isVisible(); }, u("the trading-account dialog"))) {
        return false;
    }
    QTest::keyClicks(ctp.findChild<QLineEdit *>("investerPasswordText"), QStringLiteral("123456"));
    if (!save(ctp, "trading-login.png")) {
        return false;
    }
    ctp.close();
    return driver.logInToTradingAccount(QStringLiteral("123456"));
}

bool ScreenshotTour::statement()
{
    // The front takes one query a second, and the login sequence has just sent its last one.
    QTest::qWait(1500);
    MessageWindow &message = driver.windows().message;
    driver.windows().main.findChild<QAction *>("actionSettlementInfo")->trigger();
    auto *ok = message.findChild<QPushButton *>("okButton");
    if (!driver.waitFor([&message, ok] { return message.isVisible() && ok->isEnabled(); },
                        u("the whole settlement statement"))) {
        return false;
    }
    message.setGeometry(0, 0, 1280, 800);
    if (!save(message, "message-window-statement.png")) {
        return false;
    }
    // The login sequence confirmed the day already; OK confirms it once more.
    const int confirmed = driver.mainWindowSays(u("[结算单确认] 完毕"));
    QTest::mouseClick(ok, Qt::LeftButton);
    return driver.waitFor([&message] { return !message.isVisible(); },
                          u("the statement to close")) &&
           driver.waitFor(
               [this, confirmed] {
                   return driver.mainWindowSays(u("[结算单确认] 完毕")) > confirmed;
               },
               u("the statement's confirmation"));
}

bool ScreenshotTour::running()
{
    if (!driver.startStrategy()) {
        return false;
    }
    if (!driver.platform().publishSignal({{"username", "demo"},
                                          {"accountType", "simulation"},
                                          {"direction", "buy"},
                                          {"openOrClose", "open"},
                                          {"ttlSeconds", 300}})) {
        failureText = u("the platform refused the signal");
        return false;
    }
    // The fill is followed by the position and then the account query, whose answers fill
    // their tables.
    if (!driver.waitFor([] { return GlobalVars::longPosition > 0; },
                        u("the filled order's position")) ||
        !driver.waitFor(
            [] { return GlobalVars::currMargin > 0.0 && GlobalVars::pendingRequest == 0; },
            u("the account after the fill")) ||
        !driver.waitFor([] { return GlobalVars::lastPrice > 0.0; }, u("quotes"))) {
        return false;
    }
    // A few more quotes, so the instrument table shows the market moving after the fill.
    QTest::qWait(1500);
    // The run indicator blinks; the picture shows it lit.
    auto *indicator = driver.windows().main.findChild<QLabel *>("labelState");
    return save(driver.windows().main, "main-window-running.png",
                [indicator] { return indicator->text() == u("●"); });
}

bool ScreenshotTour::activity()
{
    driver.windows().main.findChild<QAction *>("actionActivity")->trigger();
    ActivityWindow *window = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *found = qobject_cast<ActivityWindow *>(widget)) {
            window = found;
        }
    }
    if (!window) {
        failureText = u("the activity window did not open");
        return false;
    }
    window->resize(1100, 520);
    const QAbstractItemModel *rows = window->findChild<QTableView *>()->model();
    // The signal's whole way: its fill taken and the platform's answer to every report in.
    const auto settled = [rows] {
        bool filled = false;
        for (int row = 0; row < rows->rowCount(); ++row) {
            const QString kind = rows->index(row, 1).data().toString();
            const QString state = rows->index(row, 4).data().toString();
            filled = filled || kind == u("成交");
            if (kind == u("报告") && state != u("已送达")) {
                return false;
            }
        }
        return filled;
    };
    return save(*window, "activity-window.png", settled);
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

    ScreenshotTour tour(outputDir);
    if (!tour.run()) {
        std::fprintf(stderr, "ui_screenshots: %s\n", qUtf8Printable(tour.failure()));
        return 1;
    }
    return 0;
}
