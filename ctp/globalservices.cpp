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

SignalAnalyze *makeSignalAnalyze()
{
    auto *analyze = new SignalAnalyze;
    analyze->setCommandHandler(runOrderCommand);
    return analyze;
}

} // namespace

QMutex *GlobalVars::flowMutex = new QMutex;
SignalApi *GlobalVars::signalApi = new SignalApi;
SignalAnalyze *GlobalVars::signalAnalyze = makeSignalAnalyze();
MdService *GlobalVars::mdService = new MdService;
TradeService *GlobalVars::tradeService = new TradeService;
