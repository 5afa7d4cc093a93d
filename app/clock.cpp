#include "clock.h"

#include "guarded.h"

namespace {
Guarded<QDateTime> &fixedMoment()
{
    static Guarded<QDateTime> moment;
    return moment;
}
} // namespace

namespace Clock {

QDateTime now()
{
    const QDateTime fixed = fixedMoment().get();
    return fixed.isValid() ? fixed : QDateTime::currentDateTime();
}

void setFixed(const QDateTime &moment)
{
    fixedMoment().set(moment);
}

} // namespace Clock
