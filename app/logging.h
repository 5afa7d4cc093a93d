#pragma once

#include <QString>
#include <QtGlobal>

// The process-wide Qt message handler: warnings, critical and fatal messages become lines of
// the log file, debug and info messages are dropped. Installed once by the entry point.
void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);

// Appends one stamped line to the current log file. Called by messageHandler with its lock held.
void writeLog(const QString &message);

// The file that the next line goes to: log/access.log before a platform login, otherwise
// log/<user>/<user>-<day>-<start stamp>.log.
QString currentLogPath();
