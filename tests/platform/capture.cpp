#include "capture.h"

#include "signalobject.h"

#include <mutex>

namespace {
// A standard mutex rather than QMutex: ThreadSanitizer sees only instrumented locks, and the
// report worker logs while the test thread takes the lines.
std::mutex warningMutex;
QStringList warnings;

void keepWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg || type == QtCriticalMsg) {
        std::lock_guard<std::mutex> locker(warningMutex);
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
    std::lock_guard<std::mutex> locker(warningMutex);
    QStringList taken;
    taken.swap(warnings);
    return taken;
}

void Capture::append(QString text)
{
    lines << text;
}
