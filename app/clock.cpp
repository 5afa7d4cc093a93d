#include "clock.h"

#include "guarded.h"

#include <atomic>

namespace {
Guarded<QDateTime> &fixedMoment()
{
    static Guarded<QDateTime> moment;
    return moment;
}

// Milliseconds ahead of the real clock; the real clock goes on underneath, so a clock set to
// an exchange time stays on it without anyone setting it again.
std::atomic<qint64> &offsetMs()
{
    static std::atomic<qint64> offset{0};
    return offset;
}
} // namespace

namespace Clock {

QDateTime now()
{
    const QDateTime fixed = fixedMoment().get();
    return fixed.isValid() ? fixed : QDateTime::currentDateTime().addMSecs(offsetMs());
}

void setFixed(const QDateTime &moment)
{
    fixedMoment().set(moment);
    if (!moment.isValid()) {
        offsetMs() = 0;
    }
}

void runFrom(const QDateTime &moment)
{
    offsetMs() = moment.isValid() ? QDateTime::currentDateTime().msecsTo(moment) : 0;
}

} // namespace Clock
