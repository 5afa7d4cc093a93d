#pragma once

#include <QString>

// The terminal the broker knows this program as: the AppID and AuthCode of ReqAuthenticate and
// the product text of both the authentication and the login. setup.ini names them for a broker
// the platform does not know about; otherwise the platform's configuration of the environment
// does. Without a pair the front is not asked to authenticate the terminal at all.
struct TerminalIdentity
{
    QString appId;
    QString authCode;
    QString productInfo;

    bool authenticates() const { return !appId.isEmpty() && !authCode.isEmpty(); }
    // Read afresh at each login, so a changed setup.ini or platform configuration counts at the
    // next reconnection.
    static TerminalIdentity current();
};
