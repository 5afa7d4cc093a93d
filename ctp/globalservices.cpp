// The service objects of the session record. They live in one translation unit so that they are
// made in a fixed order at program load, before the application object exists, and they are
// never destroyed: a CTP callback or a queued platform report may still reach them while the
// process ends.

#include "globalvars.h"
#include "mdservice.h"
#include "signalanalyze.h"
#include "signalapi.h"
#include "tradeservice.h"

#include <QMutex>

namespace {

// A qualifying signal becomes one order command of the trading service then in place.
void runOrderCommand(SignalAnalyze::Command command, const QString &signalId)
{
    TradeService *trading = GlobalVars::tradeService;
    if (!trading) {
        return;
    }
    switch (command) {
    case SignalAnalyze::Command::OpenLong:
        trading->openLong(signalId);
        break;
    case SignalAnalyze::Command::CloseLong:
        trading->closeLong(signalId);
        break;
    case SignalAnalyze::Command::OpenShort:
        trading->openShort(signalId);
        break;
    case SignalAnalyze::Command::CloseShort:
        trading->closeShort(signalId);
        break;
    case SignalAnalyze::Command::None:
        break;
    }
}

QString whyNotReady()
{
    if (GlobalVars::tradeConnectionState != 0) {
        return QStringLiteral("交易连接已断开");
    }
    if (GlobalVars::tradeLoginState != 0) {
        return QStringLiteral("交易账户未登录");
    }
    switch (GlobalVars::strategyState) {
    case 0:
        return QString();
    case 3:
        return QStringLiteral("账户被冻结");
    case 4:
        return QStringLiteral("账户信息已改变");
    case 5:
        return QStringLiteral("检测到有异地登录");
    default:
        return QStringLiteral("策略已停止");
    }
}

SignalAnalyze *makeSignalAnalyze()
{
    auto *analyze = new SignalAnalyze;
    analyze->setCommandHandler(runOrderCommand);
    analyze->setReadyCheck(whyNotReady);
    return analyze;
}

} // namespace

QMutex *GlobalVars::flowMutex = new QMutex;
SignalApi *GlobalVars::signalApi = new SignalApi;
SignalAnalyze *GlobalVars::signalAnalyze = makeSignalAnalyze();
MdService *GlobalVars::mdService = new MdService;
TradeService *GlobalVars::tradeService = new TradeService;
