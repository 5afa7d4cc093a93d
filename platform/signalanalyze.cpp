#include "signalanalyze.h"

#include "globalvars.h"
#include "sessionstore.h"
#include "signalapi.h"

#include <QJsonObject>
#include <QMutexLocker>

SignalAnalyze::SignalAnalyze(QObject *parent) : QObject(parent), signalApi(new SignalApi(this)) {}

void SignalAnalyze::setCommandHandler(CommandHandler handler)
{
    commandHandler = std::move(handler);
}

void SignalAnalyze::setReadyCheck(ReadyCheck check)
{
    readyCheck = std::move(check);
}

SignalAnalyze::Command SignalAnalyze::decide(const QString &direction, const QString &openOrClose)
{
    const QString side = direction.toLower();
    const QString action = openOrClose.toLower();
    const bool buy = side == QLatin1String("buy");
    const bool sell = side == QLatin1String("sell");
    const bool open = action == QLatin1String("open");
    const bool close = action == QLatin1String("close");
    if (buy && open) {
        return Command::OpenLong;
    }
    if (sell && close) {
        return Command::CloseLong;
    }
    if (sell && open) {
        return Command::OpenShort;
    }
    if (buy && close) {
        return Command::CloseShort;
    }
    return Command::None;
}

void SignalAnalyze::analyze()
{
    QMutexLocker locker(&mutex);

    QJsonObject signal;
    const bool fetched = GlobalVars::accountType == QLatin1String("real")
                             ? signalApi->signalReal(&signal)
                             : signalApi->signalSimulation(&signal);
    if (!fetched) {
        return;
    }

    const QString id = signal.value(QStringLiteral("id")).toString();
    const QString instrument = signal.value(QStringLiteral("instrument")).toString();
    const QString direction = signal.value(QStringLiteral("direction")).toString();
    const bool isExpired = signal.value(QStringLiteral("isExpired")).toBool();
    const bool isTraded = signal.value(QStringLiteral("isTraded")).toBool();
    const QString openOrClose = signal.value(QStringLiteral("openOrClose")).toString();

    const QString summary = QStringLiteral("%1 %2 %3").arg(instrument, direction, openOrClose);
    if (GlobalVars::signalIds.contains(id, Qt::CaseSensitive)) {
        return;
    }
    QString ignored;
    if (isTraded) {
        ignored = QStringLiteral("已成交");
    } else if (isExpired) {
        ignored = QStringLiteral("已过期");
    } else if (instrument != GlobalVars::instrument.get()) {
        ignored = QStringLiteral("非本账户合约");
    }
    if (!ignored.isEmpty()) {
        noteSignal(id, summary, QStringLiteral("忽略：") + ignored);
        return;
    }

    // Not recorded: the signal is still current, and the next poll after the block acts on it.
    const QString notReady = readyCheck ? readyCheck() : QString();
    if (!notReady.isEmpty()) {
        if (noteSignal(id, summary, QStringLiteral("暂不执行：") + notReady)) {
            signalApi->showMessage(QStringLiteral("[策略] 信号%1暂不执行：%2").arg(id, notReady));
        }
        return;
    }

    // Known before the command, so that the signal is never acted on twice, whether or not an
    // order results. On disk an order's own row, written before it leaves, keeps its signal; a
    // signal that brought none is recorded after the command, off the order's path.
    GlobalVars::signalIds.append(id);
    const Command command = decide(direction, openOrClose);
    if (command != Command::None && commandHandler) {
        commandHandler(command, id);
    }
    if (const std::shared_ptr<SessionStore> store = SessionStore::current()) {
        store->signalActed(GlobalVars::accountType, id);
    }
    // After the order: the order's own row is all that stands before it.
    noteSignal(id, summary,
               command == Command::None ? QStringLiteral("忽略：方向或开平无法识别")
                                        : QStringLiteral("已执行"));
}

bool SignalAnalyze::noteSignal(const QString &id, const QString &summary, const QString &state)
{
    // Polled every few seconds: a signal's row changes only when what became of it does.
    QString &last = lastStates[id];
    if (last == state) {
        return false;
    }
    last = state;
    SessionStore::note(SessionStore::ActivityKind::Signal, id, summary, state);
    return true;
}
