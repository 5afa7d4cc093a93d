#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QString>

// One synchronous POST to the platform. Whatever happens on the way, the caller gets a JSON
// object: the reply's own object, or a transport failure folded into `code` and `msg`, so the
// callers treat an unreachable platform exactly like an error answer of the platform.
//
// Safe on any thread, including a library callback thread that runs no Qt event loop: every
// request brings its own access manager, timer and local event loop, and takes them down again
// before it returns. Nothing is kept between requests.
class HttpRead
{
public:
    HttpRead() = delete;

    // baseUrl + path with "Authorization: Bearer <token>".
    static QJsonObject postWithToken(const QString &path, const QByteArray &body, int timeoutMs,
                                     bool logErrors, const QString &tag);
    // baseUrl + path with "Content-Type: application/json" and no token header.
    static QJsonObject postJson(const QString &path, const QByteArray &body, int timeoutMs,
                                bool logErrors, const QString &tag);

    // The requests the two calls above send, built from the session record as it is now, for
    // callers that send them later.
    static QNetworkRequest tokenRequest(const QString &path);
    static QNetworkRequest jsonRequest(const QString &path);

    static QJsonObject post(const QNetworkRequest &request, const QByteArray &body, int timeoutMs,
                            bool logErrors, const QString &tag);

    // True when a result of post() is not the platform's answer: no answer in time, an error or
    // redirect status, or a body that is not the {code, msg} envelope. Such a request may be
    // sent again; an envelope, whatever its code, is the platform's decision.
    static bool isTransportFailure(const QJsonObject &result);

private:
    // The platform going down and coming back, into the activity.
    static void noteReachability(const QJsonObject &result, int status);
};
