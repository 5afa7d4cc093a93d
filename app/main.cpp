#include "globalvars.h"
#include "keepawake.h"
#include "logging.h"
#include "programwindows.h"
#include "signalapi.h"
#include "startup.h"
#include "terminationsignals.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    keepSystemAwake();
    useGb2312Locale();
    qInstallMessageHandler(messageHandler);
    applySettingsFile(QCoreApplication::applicationDirPath());

    int exitCode = 0;
    {
        ProgramWindows windows;
        TerminationSignals termination;
        QObject::connect(&termination, &TerminationSignals::received, &application, [&windows] {
            windows.main.closeWithoutAsking();
            QCoreApplication::exit(0);
        });
        // The platform login opens only once the user has acknowledged the login message.
        windows.message.showWindow();
        const QString loginMessage = GlobalVars::signalApi->getLoginMessage();
        windows.message.appendMessageText(true, 1, loginMessage);
        exitCode = application.exec();
    }
    // The service objects outlive main; the reports they still hold go out before the end.
    GlobalVars::signalApi->waitForReports(GlobalVars::signalApi->timeoutMs);
    return exitCode;
}
