#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>

#include <memory>

// A simulator started as a child process for one test. The simulators print their bound
// addresses on stdout ("listening on http://…", "td tcp://…"); start() waits for them, so a
// test can take port 0 and run beside others. The process is killed when this object dies.
class SimProcess
{
public:
    SimProcess();
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // Starts the program and waits until, for each prefix, a stdout line "<prefix> <value>"
    // was printed.
    bool start(const QString &program, const QStringList &args, const QStringList &expectedPrefixes,
               int timeoutMs = 15000);

    // The value printed after the prefix, e.g. address("td") -> "tcp://127.0.0.1:40123".
    QString address(const QString &prefix) const;

    // SIGTERM, then wait; false when the process had to be killed.
    bool stop(int timeoutMs = 5000);
    // SIGKILL, as a crash would end it.
    void kill();
    bool isRunning() const;
    int exitCode() const;

    QString errorString() const { return error; }
    // What the process has written to stderr so far.
    QByteArray standardError() const;

private:
    std::unique_ptr<QProcess> process;
    std::unique_ptr<QTemporaryFile> stderrFile;
    QMap<QString, QString> addresses;
    QString error;
};
