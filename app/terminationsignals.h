#pragma once

#include <QObject>

class QSocketNotifier;

// SIGINT and SIGTERM as a Qt signal on the thread that made this object, so that a terminal's
// Ctrl-C or a service manager's stop closes the program as its window's close does. A handler may
// only do async-signal-safe work, so it writes the number to a socket pair that a notifier reads.
// A second signal of the same kind while the close runs ends the program at once.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void readPending();

    QSocketNotifier *notifier = nullptr;
};
