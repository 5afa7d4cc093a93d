#include "capture.h"

#include "signalobject.h"

#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex warningMutex;
QStringList warnings;

void keepWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg || type == QtCriticalMsg) {
        QMutexLocker locker(&warningMutex);
        warnings << message;
    }
}
} // namespace

Capture::Capture()
{
    takeWarnings();
    qInstallMessageHandler(keepWarnings);
    SignalObject::setMainWindow(this);
}

Capture::~Capture()
{
    SignalObject::setMainWindow(nullptr);
    qInstallMessageHandler(nullptr);
}

QStringList Capture::takeLines()
{
    QStringList taken;
    taken.swap(lines);
    return taken;
}

QStringList Capture::takeWarnings()
{
    QMutexLocker locker(&warningMutex);
    QStringList taken;
    taken.swap(warnings);
    return taken;
}

void Capture::append(QString text)
{
    lines << text;
}
