#include "httpread.h"

#include "globalvars.h"
#include "sessionstore.h"

#include <QDebug>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <memory>

namespace {

// Every failure made up here starts with it, which is how one is told from a platform answer.
const QString kFailurePrefix = QString::fromUtf8("[网络异常");

QJsonObject failure(int code, const char *msg)
{
    QJsonObject result;
    result.insert(QStringLiteral("code"), code);
    result.insert(QStringLiteral("msg"), QString::fromUtf8(msg));
    return result;
}

QNetworkRequest requestFor(const QString &path)
{
    return QNetworkRequest(QUrl(GlobalVars::baseUrl.get() + path, QUrl::TolerantMode));
}

// No 3xx is the platform's answer, with or without a redirect target, although the network
// library finishes it without an error when it does not follow redirects; its body must not be
// read as a reply.
bool isRedirect(int status, const QVariant &redirect)
{
    return (status >= 300 && status <= 399) || (redirect.isValid() && !redirect.toUrl().isEmpty());
}

QJsonObject classifyError(int status, const QVariant &redirect, bool logErrors, const QString &tag)
{
    if (isRedirect(status, redirect)) {
        if (logErrors) {
            qWarning() << "[网络异常12] 请求远程数据时出现错误，错误信息：" << status << " | "
                       << tag;
        }
        return failure(status, "[网络异常11] 请求远程数据时出现错误");
    }
    if (status == 401) {
        const QString loginCode = GlobalVars::loginCode;
        if (logErrors) {
            qWarning() << "[网络异常22] 请求远程数据时出现错误，错误信息：" << 401
                       << ". 访问未授权. [Time]:" << loginCode << " | " << tag;
        }
        QJsonObject result;
        result.insert(QStringLiteral("code"), 401);
        result.insert(
            QStringLiteral("msg"),
            QString::fromUtf8("[网络异常21] 请求远程数据时出现错误. 访问未授权. [Time]:%1")
                .arg(loginCode));
        return result;
    }
    if (status == 500) {
        if (logErrors) {
            qWarning() << "[网络异常32] 远程服务器发生错误，错误信息：" << status << " | " << tag;
        }
        return failure(500, "[网络异常31] 远程服务器发生错误");
    }
    if (status == -1) {
        if (logErrors) {
            qWarning() << "[网络异常42] 远程服务器无法连接，错误信息：" << status << " | " << tag;
        }
        return failure(-1, "[网络异常41] 远程服务器无法连接");
    }
    if (logErrors) {
        qWarning() << "[网络异常52] 请求远程数据时出现错误，错误信息：" << status << " | " << tag;
    }
    return failure(status, "[网络异常51] 请求远程数据时出现错误");
}

} // namespace

QNetworkRequest HttpRead::tokenRequest(const QString &path)
{
    QNetworkRequest request = requestFor(path);
    request.setRawHeader("Authorization", "Bearer " + GlobalVars::token.get().toLatin1());
    // What the network library would put there by itself, set here so that it does not warn
    // about the missing header on every poll.
    request.setRawHeader("Content-Type", "application/x-www-form-urlencoded");
    return request;
}

QNetworkRequest HttpRead::jsonRequest(const QString &path)
{
    QNetworkRequest request = requestFor(path);
    request.setRawHeader("Content-Type", "application/json");
    return request;
}

QJsonObject HttpRead::postWithToken(const QString &path, const QByteArray &body, int timeoutMs,
                                    bool logErrors, const QString &tag)
{
    return post(tokenRequest(path), body, timeoutMs, logErrors, tag);
}

QJsonObject HttpRead::postJson(const QString &path, const QByteArray &body, int timeoutMs,
                               bool logErrors, const QString &tag)
{
    return post(jsonRequest(path), body, timeoutMs, logErrors, tag);
}

QJsonObject HttpRead::post(const QNetworkRequest &request, const QByteArray &body, int timeoutMs,
                           bool logErrors, const QString &tag)
{
    QJsonObject result;

    // The loop exists before anything else: on a thread that Qt did not start, creating it is
    // what gives the thread the event dispatcher that the timer and the sockets need.
    QEventLoop loop;
    std::unique_ptr<QNetworkAccessManager> manager(new QNetworkAccessManager);
    std::unique_ptr<QNetworkReply> reply(manager->post(request, body));

    QTimer timer;
    timer.setSingleShot(true);
    timer.setInterval(timeoutMs);
    QMetaObject::Connection finishedConnection;
    if (reply) {
        finishedConnection =
            QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    }
    const QMetaObject::Connection timeoutConnection =
        QObject::connect(&timer, SIGNAL(timeout()), &loop, SLOT(quit()));

    timer.start();
    if (reply && !reply->isFinished()) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }

    int status = reply ? reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
    if (status == 0) {
        status = -1;
    }
    const QVariant redirect =
        reply ? reply->attribute(QNetworkRequest::RedirectionTargetAttribute) : QVariant();

    if (!timer.isActive()) {
        if (logErrors) {
            qWarning() << "[网络异常72] 请求远程数据超时"
                       << " | " << tag;
        }
        result = failure(status, "[网络异常71] 请求远程数据超时");
    } else {
        timer.stop();
        if (!reply) {
            if (logErrors) {
                qWarning() << "[网络异常62] 请求远程数据时发生未知错误"
                           << " | " << tag;
            }
            result = failure(status, "[网络异常61] 请求远程数据时发生未知错误");
        } else if (reply->error() == QNetworkReply::NoError && !isRedirect(status, redirect)) {
            result = QJsonDocument::fromJson(reply->readAll()).object();
        } else {
            result = classifyError(status, redirect, logErrors, tag);
        }
    }

    QObject::disconnect(finishedConnection);
    QObject::disconnect(timeoutConnection);
    if (reply) {
        // A request that ran out of time is cut off here rather than left running.
        if (!reply->isFinished()) {
            reply->abort();
        }
        reply->close();
    }
    // Deleted now rather than later: a library thread may never run another event loop that
    // would reclaim them, and the loop has returned, so no signal of theirs is being delivered.
    reply.reset();
    manager.reset();
    noteReachability(result, status);
    return result;
}

void HttpRead::noteReachability(const QJsonObject &result, int status)
{
    // Only the changes: every request would otherwise write a row.
    enum
    {
        Unknown,
        Reachable,
        Unreachable
    };
    static std::atomic<int> last{Unknown};
    const bool unreachable = status <= 0 && isTransportFailure(result);
    const int now = unreachable ? Unreachable : Reachable;
    const int before = last.exchange(now);
    if (now == Unreachable && before != Unreachable) {
        SessionStore::noteConnection(QStringLiteral("平台"),
                                     QStringLiteral("无法连接：") +
                                         result.value(QStringLiteral("msg")).toString());
    } else if (now == Reachable && before == Unreachable) {
        SessionStore::noteConnection(QStringLiteral("平台"), QStringLiteral("已恢复"));
    }
}

bool HttpRead::isTransportFailure(const QJsonObject &result)
{
    const QJsonValue code = result.value(QStringLiteral("code"));
    const QJsonValue msg = result.value(QStringLiteral("msg"));
    if (!code.isDouble() || !msg.isString()) {
        return true;
    }
    return msg.toString().startsWith(kFailurePrefix);
}
