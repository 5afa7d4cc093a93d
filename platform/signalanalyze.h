#pragma once

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>

#include <functional>

class SignalApi;

// Turns the platform's current signal into at most one order command: a signal is acted on
// once per process, only while it is untraded and unexpired and only for the traded instrument.
// GUI thread (the strategy's signal timer).
class SignalAnalyze : public QObject
{
    Q_OBJECT

public:
    enum class Command
    {
        None,
        OpenLong,
        CloseLong,
        OpenShort,
        CloseShort
    };

    // Runs the order command of the trading service with the signal's id. The trading service
    // sits above this layer, so the top of the program hands it in.
    using CommandHandler = std::function<void(Command command, const QString &signalId)>;

    // Why an order cannot be sent now (the strategy stopped or blocked, the trading account not
    // logged in), or empty. Asked after the fetch, which runs a local event loop up to its
    // time-out: the session may have changed meanwhile.
    using ReadyCheck = std::function<QString()>;

    explicit SignalAnalyze(QObject *parent = nullptr);

    void analyze();

    void setCommandHandler(CommandHandler handler);
    void setReadyCheck(ReadyCheck check);

    // The command for a direction ("buy", "sell") and an open/close flag ("open", "close"),
    // compared without regard to case; None for anything else.
    static Command decide(const QString &direction, const QString &openOrClose);

    // The platform client of the signal requests, owned by this object.
    SignalApi *signalApi;
    QMutex mutex;

private:
    // Writes what became of a signal to the activity, once per change; true when it changed.
    bool noteSignal(const QString &id, const QString &summary, const QString &state);

    CommandHandler commandHandler;
    QHash<QString, QString> lastStates;
    ReadyCheck readyCheck;
};
