#include "globalvars.h"
#include "keepawake.h"
#include "logging.h"
#include "signalapi.h"
#include "startup.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    keepSystemAwake();
    useGb2312Locale();
    qInstallMessageHandler(messageHandler);
    applySettingsFile(QCoreApplication::applicationDirPath());

    // The windows and the login message are not part of this build yet: with nothing to
    // show, the event loop ends as soon as it has started.
    QTimer::singleShot(0, &application, &QCoreApplication::quit);

    const int exitCode = application.exec();
    // The service objects outlive main; the reports they still hold go out before the end.
    GlobalVars::signalApi->waitForReports(GlobalVars::signalApi->timeoutMs);
    return exitCode;
}
