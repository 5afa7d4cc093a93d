#pragma once

#include "platformsim.h"
#include "programwindows.h"
#include "simprocess.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

// Runs the program's windows in this process against a simulated platform and front that it
// starts (or that run already, see attach()), and drives them as a user would: each step waits for
// its outcome, and when that never comes it returns false and keeps a line saying what it waited
// for (failure()).
class ClientDriver
{
public:
    explicit ClientDriver(int waitMs = 60000);
    // Releases the trading connection and sends the reports still queued before the windows go.
    ~ClientDriver();
    ClientDriver(const ClientDriver &) = delete;
    ClientDriver &operator=(const ClientDriver &) = delete;

    // A scratch working folder (log/, flow/ and setup.ini land there), both simulators on free
    // ports, and the platform's configuration naming this front.
    bool startSimulators(const QStringList &platformArgs = {}, const QStringList &frontArgs = {});
    // The front's built-in configuration (JSON), a starting point for one of a test's own.
    static QByteArray defaultFrontConfig();
    // Stops the front and starts it again on the same ports and books; with the exchange
    // calendar its clock goes on from where it was.
    bool restartFront();
    // Instead of starting simulators: the platform at `platformUrl` (its configuration names the
    // front) and `workPath` as the working folder. The folder outlives this driver, so a program
    // started again on it finds its log/, flow/ and data/ as the last one left them.
    bool attach(const QString &platformUrl, const QString &workPath);

    // The windows as the program makes them, and the login message shown.
    bool showLoginMessage();
    bool acknowledgeLoginMessage();
    // User name, password and the simulation login button; ends with the trading front connected.
    bool logInToPlatform(const QString &username, const QString &password);
    // "登录交易账户", the trading password, OK; ends when the login sequence has finished.
    bool logInToTradingAccount(const QString &password);
    bool startStrategy();
    bool stopStrategy();

    bool waitFor(const std::function<bool()> &condition, const QString &what);
    // How often the main window's message area holds the text.
    int mainWindowSays(const QString &text) const;
    // Boxes are recorded, never drawn; false when one came up since the last call.
    bool noBoxes();

    ProgramWindows &windows() { return *programWindows; }
    PlatformSim &platform() { return platformSim; }
    SimProcess &front() { return *frontProcess; }
    QString workPath() const { return fixedWork.isEmpty() ? work.path() : fixedWork; }
    QString failure() const { return failureText; }

private:
    bool fail(const QString &text);
    bool startFront(const QStringList &args);

    int waitMs;
    QTemporaryDir work;
    QString fixedWork;
    QTemporaryDir frontData;
    PlatformSim platformSim;
    std::unique_ptr<SimProcess> frontProcess;
    QStringList frontArgs;
    std::unique_ptr<ProgramWindows> programWindows;
    QString failureText;
};
