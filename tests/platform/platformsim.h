#pragma once

#include "simprocess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QTemporaryDir>
#include <QtTest>

// A started velmora-simplatform with its admin endpoints, on a free loopback port and with a
// fresh data folder. start() points GlobalVars::baseUrl at it.
class PlatformSim
{
public:
    bool start(const QStringList &extraArgs = {});
    QString url() const { return baseUrl; }
    QString errorString() const { return process.errorString(); }
    bool stop() { return process.stop(); }

    // One admin request; the reply's envelope (code, msg, data), or an empty object.
    QJsonObject admin(const QByteArray &method, const QString &pathAndQuery,
                      const QJsonObject &body = QJsonObject());

    // The next `count` requests to the rule's path get the injected answer.
    bool fault(const QJsonObject &rule);
    bool publishSignal(const QJsonObject &signal);
    bool patchUser(const QJsonObject &fields);
    // The stored order and fill reports, oldest first.
    QJsonArray reports();
    // The requests the platform saw on one path, oldest first.
    QJsonArray requests(const QString &path);

    // The platform part of the configuration and one user's record, as the simulator holds
    // them now; empty when there is none.
    QJsonObject platformConfig();
    QJsonObject user(const QString &username);

    // The demo identity in the session record, as the login window leaves it.
    static void useDemoUser(const QString &accountType = QStringLiteral("simulation"));

private:
    SimProcess process;
    QTemporaryDir data;
    QString baseUrl;
};

namespace QTest {
// Failed comparisons of replies print the objects.
template <> inline char *toString(const QJsonObject &object)
{
    return qstrdup(QJsonDocument(object).toJson(QJsonDocument::Compact).constData());
}
} // namespace QTest
