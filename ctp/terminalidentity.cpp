#include "terminalidentity.h"

#include "globalvars.h"
#include "utils.h"

TerminalIdentity TerminalIdentity::current()
{
    const QString group = QStringLiteral("SETUP");
    TerminalIdentity terminal;
    terminal.appId = Utils::readSetting(group, QStringLiteral("appID")).trimmed();
    terminal.authCode = Utils::readSetting(group, QStringLiteral("authCode")).trimmed();
    if (!terminal.authenticates()) {
        // A pair is whole or not at all: half of one from each source would never authenticate.
        terminal.appId = GlobalVars::appID;
        terminal.authCode = GlobalVars::authCode;
    }
    terminal.productInfo = Utils::readSetting(group, QStringLiteral("userProductInfo")).trimmed();
    if (terminal.productInfo.isEmpty()) {
        terminal.productInfo = GlobalVars::userProductInfo;
    }
    return terminal;
}
