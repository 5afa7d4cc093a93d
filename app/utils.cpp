#include "utils.h"

#include "globalvars.h"

#include <QDebug>
#include <QSettings>
#include <QStringList>
#include <QTextCodec>

namespace Utils {

bool contains(const QJsonObject &object, QString keys)
{
    if (object.isEmpty()) {
        return false;
    }
    const QStringList parts = keys.split(QLatin1Char(','));
    for (int i = 0; i < parts.size(); ++i) {
        if (!object.contains(parts.at(i))) {
            qDebug() << "Utils::contains() " << i << ":" << parts.at(i);
            return false;
        }
    }
    return true;
}

QJsonObject getObject(const QJsonObject &object, QString key)
{
    const auto member = object.constFind(key);
    if (member == object.constEnd()) {
        return QJsonObject();
    }
    return member->toObject();
}

QString readSetting(QString group, QString key)
{
    QSettings settings(GlobalVars::iniPath, QSettings::IniFormat);
    settings.beginGroup(group);
    const QString value = settings.value(key).toString();
    settings.endGroup();
    return value;
}

void writeSetting(QString group, QString key, QString value)
{
    QSettings settings(GlobalVars::iniPath, QSettings::IniFormat);
    settings.beginGroup(group);
    settings.setValue(key, value);
    settings.endGroup();
    settings.sync();
}

QString fromGb2312(std::string text)
{
    const std::string::size_type end = text.find('\0');
    if (end != std::string::npos) {
        text.resize(end);
    }
    QTextCodec *codec = QTextCodec::codecForName("gb2312");
    if (!codec) {
        return QString::fromLatin1(text.data(), static_cast<int>(text.size()));
    }
    return codec->toUnicode(text.data(), static_cast<int>(text.size()));
}

double validDouble(double value)
{
    return value > 999999999999.0 ? 0.0 : value;
}

QString formatDouble(double value)
{
    return QStringLiteral("%1").arg(value, 0, 'f', 2);
}

QString safePathComponent(const QString &name)
{
    static const QString forbidden = QStringLiteral("/\\:*?\"<>|");
    QString safe;
    safe.reserve(name.size());
    for (const QChar c : name) {
        safe.append(forbidden.contains(c) || c.unicode() < 0x20 ? QLatin1Char('_') : c);
    }
    if (safe == QLatin1String(".") || safe == QLatin1String("..")) {
        safe.fill(QLatin1Char('_'));
    }
    return safe;
}

} // namespace Utils
