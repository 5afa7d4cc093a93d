#include "simprocess.h"

#include <QDeadlineTimer>
#include <QFile>

#ifdef Q_OS_LINUX
#include <signal.h>
#include <sys/prctl.h>
#endif

namespace {
// A simulator must not outlive a test that dies abruptly (a sanitizer halt, a CTest time-out):
// on Linux the child asks to be killed with its parent.
class ChildProcess : public QProcess
{
protected:
    void setupChildProcess() override
    {
#ifdef Q_OS_LINUX
        prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    }
};
} // namespace

SimProcess::SimProcess() = default;

SimProcess::~SimProcess()
{
    if (isRunning()) {
        kill();
    }
}

bool SimProcess::start(const QString &program, const QStringList &args,
                       const QStringList &expectedPrefixes, int timeoutMs)
{
    addresses.clear();
    error.clear();
    stderrFile = std::make_unique<QTemporaryFile>();
    if (!stderrFile->open()) {
        error = QStringLiteral("cannot create a file for stderr");
        return false;
    }
    process = std::make_unique<ChildProcess>();
    // stderr goes to a file so a chatty simulator can never block on a full pipe.
    process->setStandardErrorFile(stderrFile->fileName());
    process->start(program, args, QIODevice::ReadOnly);
    if (!process->waitForStarted(timeoutMs)) {
        error = QStringLiteral("%1 did not start: %2").arg(program, process->errorString());
        return false;
    }

    QDeadlineTimer deadline(timeoutMs);
    QByteArray pending;
    while (addresses.size() < expectedPrefixes.size()) {
        if (!process->canReadLine() && !process->waitForReadyRead(int(deadline.remainingTime()))) {
            error = QStringLiteral("%1 printed %2 of %3 addresses before %4; stderr: %5")
                        .arg(program)
                        .arg(addresses.size())
                        .arg(expectedPrefixes.size())
                        .arg(deadline.hasExpired() ? "the time-out" : "it ended")
                        .arg(QString::fromUtf8(standardError()));
            return false;
        }
        while (process->canReadLine()) {
            const QString line = QString::fromUtf8(process->readLine()).trimmed();
            for (const QString &prefix : expectedPrefixes) {
                if (line.startsWith(prefix + QLatin1Char(' '))) {
                    addresses.insert(prefix, line.mid(prefix.size() + 1).trimmed());
                }
            }
        }
    }
    return true;
}

QString SimProcess::address(const QString &prefix) const
{
    return addresses.value(prefix);
}

bool SimProcess::stop(int timeoutMs)
{
    if (!isRunning()) {
        return true;
    }
    process->terminate();
    if (process->waitForFinished(timeoutMs)) {
        return true;
    }
    kill();
    return false;
}

void SimProcess::kill()
{
    if (!process) {
        return;
    }
    process->kill();
    process->waitForFinished(5000);
}

bool SimProcess::isRunning() const
{
    return process && process->state() != QProcess::NotRunning;
}

int SimProcess::exitCode() const
{
    return process ? process->exitCode() : -1;
}

QByteArray SimProcess::standardError() const
{
    if (!stderrFile) {
        return QByteArray();
    }
    QFile file(stderrFile->fileName());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
