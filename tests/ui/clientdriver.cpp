#include "clientdriver.h"

#include "globalvars.h"
#include "messagebox.h"
#include "signalapi.h"
#include "startup.h"
#include "tradeservice.h"

#include <QAction>
#include <QDir>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTextEdit>
#include <QUrl>
#include <QtTest>

#include <httplib.h>

namespace {

template <class T> T *child(const QObject &window, const char *name)
{
    return window.findChild<T *>(QString::fromLatin1(name));
}

bool click(const QObject &window, const char *button)
{
    auto *target = child<QPushButton>(window, button);
    if (!target) {
        return false;
    }
    QTest::mouseClick(target, Qt::LeftButton);
    return true;
}

bool type(const QObject &window, const char *field, const QString &text)
{
    auto *target = child<QLineEdit>(window, field);
    if (!target) {
        return false;
    }
    target->clear();
    QTest::keyClicks(target, text);
    return true;
}

QString portOf(const QString &address)
{
    return QString::number(QUrl(address).port());
}

} // namespace

ClientDriver::ClientDriver(int waitMs) : waitMs(waitMs), frontProcess(new SimProcess)
{
    MessageBox::setTestMode(true);
}

ClientDriver::~ClientDriver()
{
    GlobalVars::tradeService->release();
    GlobalVars::signalApi->waitForReports(GlobalVars::signalApi->timeoutMs);
    programWindows.reset();
    frontProcess->stop();
    platformSim.stop();
}

bool ClientDriver::fail(const QString &text)
{
    failureText = text;
    return false;
}

bool ClientDriver::waitFor(const std::function<bool()> &condition, const QString &what)
{
    return QTest::qWaitFor(condition, waitMs) ||
           fail(QStringLiteral("gave up waiting for ") + what);
}

int ClientDriver::mainWindowSays(const QString &text) const
{
    const auto *area = child<QTextEdit>(programWindows->main, "textEdit");
    return area ? area->toPlainText().count(text) : 0;
}

bool ClientDriver::noBoxes()
{
    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    return shown.isEmpty() || fail(QStringLiteral("a box came up: \"%1\": %2")
                                       .arg(shown.first().title, shown.first().text));
}

bool ClientDriver::startFront(const QStringList &args)
{
    if (!frontProcess->start(QStringLiteral(VELMORA_SIMFRONT_EXE), args, {"td", "md", "admin"})) {
        return fail(QStringLiteral("the front did not start: ") + frontProcess->errorString() +
                    QString::fromLocal8Bit(frontProcess->standardError()));
    }
    return true;
}

bool ClientDriver::startSimulators(const QStringList &platformArgs, const QStringList &frontExtra)
{
    // The services write log/ and flow/ below the working folder, and the settings file is read
    // from the program's folder: both go to the scratch folder.
    if (!work.isValid() || !frontData.isValid() || !QDir::setCurrent(work.path())) {
        return fail(QStringLiteral("no scratch folder"));
    }
    applySettingsFile(work.path());
    frontArgs =
        QStringList{"--td",        "127.0.0.1:0", "--md",           "127.0.0.1:0",   "--admin",
                    "127.0.0.1:0", "--data",      frontData.path(), "--require-auth"} +
        frontExtra;
    if (!platformSim.start(platformArgs)) {
        return fail(QStringLiteral("the platform did not start: ") + platformSim.errorString());
    }
    if (!startFront(frontArgs)) {
        return false;
    }
    // The same ports from now on, so that a restarted front is where the client looks for it.
    frontArgs[1] = QStringLiteral("127.0.0.1:") + portOf(frontProcess->address("td"));
    frontArgs[3] = QStringLiteral("127.0.0.1:") + portOf(frontProcess->address("md"));
    frontArgs[5] = QStringLiteral("127.0.0.1:") + portOf(frontProcess->address("admin"));
    // The client learns the fronts from the platform's configuration, as in production.
    const QJsonObject fronts{{"tdAddress", frontProcess->address("td")},
                             {"mdAddress", frontProcess->address("md")},
                             {"appID", "velmora_demo_1.0"},
                             {"authCode", "0000000000000000"}};
    const QJsonObject reply =
        platformSim.admin("POST", QStringLiteral("/admin/config"),
                          {{"platform", QJsonObject{{"simulation", fronts}, {"real", fronts}}}});
    return reply.value("code").toInt(-1) == 0 ||
           fail(QStringLiteral("the platform refused the front addresses"));
}

bool ClientDriver::attach(const QString &platformUrl, const QString &workPath)
{
    if (!QDir().mkpath(workPath) || !QDir::setCurrent(workPath)) {
        return fail(QStringLiteral("cannot work in ") + workPath);
    }
    fixedWork = QDir(workPath).absolutePath();
    applySettingsFile(fixedWork);
    GlobalVars::baseUrl = platformUrl;
    return true;
}

QByteArray ClientDriver::defaultFrontConfig()
{
    QProcess print;
    print.start(QStringLiteral(VELMORA_SIMFRONT_EXE), {QStringLiteral("--print-config")});
    return print.waitForFinished(15000) ? print.readAllStandardOutput() : QByteArray();
}

bool ClientDriver::restartFront()
{
    QStringList args = frontArgs;
    const QUrl admin(frontProcess->address("admin"));
    httplib::Client client(admin.host().toStdString(), admin.port());
    const auto status = client.Get("/status");
    if (status && status->status == 200) {
        const QString clock = QJsonDocument::fromJson(QByteArray::fromStdString(status->body))
                                  .object()
                                  .value("clock")
                                  .toString();
        const int at = args.indexOf(QStringLiteral("--clock"));
        if (at >= 0 && !clock.isEmpty()) {
            args[at + 1] = clock;
        }
    }
    frontProcess->stop();
    frontProcess = std::make_unique<SimProcess>();
    return startFront(args);
}

bool ClientDriver::showLoginMessage()
{
    programWindows = std::make_unique<ProgramWindows>();
    programWindows->message.showWindow();
    programWindows->message.appendMessageText(true, 1, GlobalVars::signalApi->getLoginMessage());
    return waitFor([this] { return programWindows->message.isVisible(); },
                   QStringLiteral("the login message"));
}

bool ClientDriver::acknowledgeLoginMessage()
{
    return click(programWindows->message, "okButton") &&
           waitFor(
               [this] {
                   return programWindows->site.isVisible() && !programWindows->message.isVisible();
               },
               QStringLiteral("the platform login window"));
}

bool ClientDriver::logInToPlatform(const QString &username, const QString &password)
{
    return type(programWindows->site, "usernameText", username) &&
           type(programWindows->site, "passwordText", password) &&
           click(programWindows->site, "simulation_btn") && noBoxes() &&
           waitFor(
               [this] {
                   return programWindows->main.isVisible() && !programWindows->site.isVisible();
               },
               QStringLiteral("the main window")) &&
           waitFor([] { return GlobalVars::tradeConnectionState == 0; },
                   QStringLiteral("the trading connection"));
}

bool ClientDriver::logInToTradingAccount(const QString &password)
{
    auto *login = child<QAction>(programWindows->main, "loginMenuItem");
    if (!login) {
        return fail(QStringLiteral("no login menu item"));
    }
    login->trigger();
    return waitFor([this] { return programWindows->ctp.isVisible(); },
                   QStringLiteral("the trading-account dialog")) &&
           type(programWindows->ctp, "investerPasswordText", password) &&
           click(programWindows->ctp, "ok_btn") && noBoxes() &&
           waitFor(
               [this] {
                   return GlobalVars::strategyState == 1 &&
                          mainWindowSays(QStringLiteral("[策略] 策略已停止.")) > 0;
               },
               QStringLiteral("the trading login sequence"));
}

bool ClientDriver::startStrategy()
{
    return click(programWindows->main, "strategyOnButton") &&
           (GlobalVars::strategyState == 0 || fail(QStringLiteral("the strategy did not start")));
}

bool ClientDriver::stopStrategy()
{
    return click(programWindows->main, "strategyOffButton") &&
           (GlobalVars::strategyState == 1 || fail(QStringLiteral("the strategy did not stop")));
}
