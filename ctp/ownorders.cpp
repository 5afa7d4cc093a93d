#include "ownorders.h"

QString OwnOrders::key(int frontId, int sessionId, const QString &orderRef)
{
    return QStringLiteral("%1%2%3").arg(frontId).arg(sessionId).arg(orderRef);
}

void OwnOrders::sent(const QString &orderKey)
{
    std::lock_guard<std::mutex> lock(mutex);
    sentKeys.insert(orderKey);
}

void OwnOrders::noticed(const QString &orderKey, const std::string &exchangeId,
                        const std::string &orderSysId)
{
    std::lock_guard<std::mutex> lock(mutex);
    // The first notice of an order comes before the exchange has numbered it.
    if (orderSysId.empty() || sentKeys.count(orderKey) == 0) {
        return;
    }
    byExchangeNumber[{exchangeId, orderSysId}] = orderKey;
}

QString OwnOrders::keyOf(const std::string &exchangeId, const std::string &orderSysId) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = byExchangeNumber.find({exchangeId, orderSysId});
    return found == byExchangeNumber.end() ? QString() : found->second;
}
