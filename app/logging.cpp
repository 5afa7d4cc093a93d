#include "logging.h"

#include "globalvars.h"
#include "utils.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QTextStream>

namespace {
QMutex &logMutex()
{
    static QMutex mutex;
    return mutex;
}

// Set while this thread is inside the handler. Qt may warn from within our own file work
// (a failed open, say); such a message must neither come back in nor wait for our own lock.
thread_local bool insideHandler = false;
} // namespace

QString currentLogPath()
{
    const QString user = Utils::safePathComponent(GlobalVars::username);
    if (user.isEmpty()) {
        return QStringLiteral("log/access.log");
    }
    const QString day = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    return QStringLiteral("log/%1/%1-%2-%3.log")
        .arg(user, day, static_cast<QString>(GlobalVars::startStamp));
}

void writeLog(const QString &message)
{
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    // Multi-argument arg() substitutes in one pass, so "%1" or "%2" inside the message stays.
    const QString line = QStringLiteral("[%1] %2").arg(stamp, message);

    const QString path = currentLogPath();
    const QString folder = QFileInfo(path).path();
    QDir dir(folder);
    if (!dir.exists() && !dir.mkpath(dir.absolutePath())) {
        return;
    }

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        return;
    }
    // No codec of its own: the stream uses the locale codec, GB2312 once start-up has set it.
    QTextStream stream(&file);
    stream << line << "\r\n";
    stream.flush();
    file.close();
}

void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    Q_UNUSED(context);
    if (insideHandler) {
        return;
    }
    insideHandler = true;
    {
        QMutexLocker locker(&logMutex());
        if (type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg) {
            writeLog(message);
        }
    }
    insideHandler = false;
}
