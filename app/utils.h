#pragma once

#include <QJsonObject>
#include <QString>

#include <string>

// Stateless helpers shared by every layer; safe on any thread except the settings functions,
// which belong to the GUI thread.
namespace Utils {

// Whether every comma-separated key is a member of the object. Empty parts are keys too;
// nothing is trimmed. An object without members never passes.
bool contains(const QJsonObject &object, QString keys);

// The member as an object; empty when it is missing or not an object.
QJsonObject getObject(const QJsonObject &object, QString key);

// The settings file (GlobalVars::iniPath) is opened anew on every call.
QString readSetting(QString group, QString key);
void writeSetting(QString group, QString key, QString value);

// Decodes CTP text (GB2312) up to its first NUL.
QString fromGb2312(std::string text);

// The CTP libraries mark a missing price with the largest double; that reads as 0.
double validDouble(double value);

// Two decimals, a point as the decimal mark, no grouping: 3456.5 -> "3456.50".
QString formatDouble(double value);

// A user-chosen name made safe as one component of a path: separators and characters that
// are not allowed in file names become '_', and "." or ".." cannot climb out of the folder.
QString safePathComponent(const QString &name);

} // namespace Utils
