#include "globalvars.h"
#include "keepawake.h"
#include "logging.h"
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

    return application.exec();
}
