#include "reportedfills.h"

#include "sessionstore.h"

bool ReportedFills::firstTime(const std::string &tradingDay, const std::string &exchangeId,
                              const std::string &tradeId, char direction)
{
    std::lock_guard<std::mutex> lock(mutex);
    bool first = seen.emplace(tradingDay, exchangeId, tradeId, direction).second;
    if (first) {
        const std::shared_ptr<SessionStore> store = SessionStore::current();
        first = !store || !store->fillReported(tradingDay, exchangeId, tradeId, direction);
    }
    repeated += first ? 0 : 1;
    return first;
}

void ReportedFills::reported(const std::string &tradingDay, const std::string &exchangeId,
                             const std::string &tradeId, char direction)
{
    if (const std::shared_ptr<SessionStore> store = SessionStore::current()) {
        store->rememberFill(tradingDay, exchangeId, tradeId, direction);
    }
}

QString ReportedFills::name(const std::string &tradingDay, const std::string &exchangeId,
                            const std::string &tradeId, char direction)
{
    return QStringLiteral("%1|%2|%3|%4")
        .arg(QString::fromStdString(tradingDay), QString::fromStdString(exchangeId),
             QString::fromStdString(tradeId), QString(QChar::fromLatin1(direction)));
}

int ReportedFills::repeats() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return repeated;
}
