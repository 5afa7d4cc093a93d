#pragma once

#include <QDateTime>

// The wall clock for decisions that depend on the time of day. Tests set a fixed time.
namespace Clock {
QDateTime now();
void setFixed(const QDateTime &moment); // an invalid moment returns to the real clock
} // namespace Clock
