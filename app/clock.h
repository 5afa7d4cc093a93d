#pragma once

#include <QDateTime>

// The wall clock for decisions that depend on the time of day. Tests set a fixed time, or a
// moment the clock runs on from, as an exchange clock moved by an operator does.
namespace Clock {
QDateTime now();
void setFixed(const QDateTime &moment); // an invalid moment returns to the real clock
// From now on the clock reads `moment` and runs on at the real clock's pace; an invalid moment
// returns to the real clock. A fixed moment still takes precedence while one is set.
void runFrom(const QDateTime &moment);
} // namespace Clock
