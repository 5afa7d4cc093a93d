#include "ownorders.h"

QString OwnOrders::key(int frontId, int sessionId, const QString &orderRef)
{
    return QStringLiteral("%1%2%3").arg(frontId).arg(sessionId).arg(orderRef);
}

void OwnOrders::sent(int frontId, int sessionId, const QString &orderRef)
{
    std::lock_guard<std::mutex> lock(mutex);
    sentOrders.insert({frontId, sessionId, orderRef});
}

void OwnOrders::noticed(int frontId, int sessionId, const QString &orderRef,
                        const std::string &exchangeId, const std::string &orderSysId)
{
    std::lock_guard<std::mutex> lock(mutex);
    // The first notice of an order comes before the exchange has numbered it.
    if (orderSysId.empty() || sentOrders.count({frontId, sessionId, orderRef}) == 0) {
        return;
    }
    byExchangeNumber[{exchangeId, orderSysId}] = key(frontId, sessionId, orderRef);
}

QString OwnOrders::keyOf(const std::string &exchangeId, const std::string &orderSysId) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = byExchangeNumber.find({exchangeId, orderSysId});
    return found == byExchangeNumber.end() ? QString() : found->second;
}
