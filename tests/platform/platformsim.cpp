#include "platformsim.h"

#include "globalvars.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>

bool PlatformSim::start(const QStringList &extraArgs)
{
    if (!data.isValid()) {
        return false;
    }
    const QStringList args =
        QStringList{"--listen", "127.0.0.1:0", "--data", data.path(), "--admin", "--quiet"} +
        extraArgs;
    if (!process.start(QStringLiteral(VELMORA_SIMPLATFORM_EXE), args, {"listening on"})) {
        return false;
    }
    baseUrl = process.address(QStringLiteral("listening on"));
    GlobalVars::baseUrl = baseUrl;
    return !baseUrl.isEmpty();
}

QJsonObject PlatformSim::admin(const QByteArray &method, const QString &pathAndQuery,
                               const QJsonObject &body)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(baseUrl + pathAndQuery));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    QNetworkReply *reply = manager.sendCustomRequest(
        request, method, body.isEmpty() ? QByteArray() : QJsonDocument(body).toJson());
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(15000, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) {
        loop.exec();
    }
    const QJsonObject envelope = QJsonDocument::fromJson(reply->readAll()).object();
    delete reply;
    return envelope;
}

namespace {
bool succeeded(const QJsonObject &envelope)
{
    return envelope.contains(QStringLiteral("code")) && envelope.value("code").toInt() == 0;
}
} // namespace

bool PlatformSim::fault(const QJsonObject &rule)
{
    return succeeded(admin("POST", QStringLiteral("/admin/fault"), rule));
}

bool PlatformSim::publishSignal(const QJsonObject &signal)
{
    return succeeded(admin("POST", QStringLiteral("/admin/signal"), signal));
}

bool PlatformSim::patchUser(const QJsonObject &fields)
{
    return succeeded(admin("POST", QStringLiteral("/admin/user"), fields));
}

QJsonArray PlatformSim::reports()
{
    return admin("GET", QStringLiteral("/admin/reports")).value("data").toArray();
}

QJsonArray PlatformSim::requests(const QString &path)
{
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("path"), path);
    return admin("GET", QStringLiteral("/admin/requests?") + query.toString(QUrl::FullyEncoded))
        .value("data")
        .toArray();
}

QJsonObject PlatformSim::platformConfig()
{
    return admin("GET", QStringLiteral("/admin/config"))
        .value("data")
        .toObject()
        .value("platform")
        .toObject();
}

QJsonObject PlatformSim::user(const QString &username)
{
    const QJsonArray users =
        admin("GET", QStringLiteral("/admin/config")).value("data").toObject()["users"].toArray();
    for (const QJsonValue &candidate : users) {
        if (candidate.toObject().value("username").toString() == username) {
            return candidate.toObject();
        }
    }
    return QJsonObject();
}

void PlatformSim::useDemoUser(const QString &accountType)
{
    // Each login a store of its own: a test's signals and reports are not another's.
    static QTemporaryDir stores;
    static int logins = 0;
    GlobalVars::dataFolder = stores.filePath(QString::number(++logins));
    GlobalVars::resetSession();
    GlobalVars::accountType = accountType;
    GlobalVars::username = QStringLiteral("demo");
    GlobalVars::password = QStringLiteral("demo");
}
