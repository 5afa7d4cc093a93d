#include "startup.h"

#include "globalvars.h"
#include "utils.h"

#include <QTextCodec>

void useGb2312Locale()
{
    QTextCodec *codec = QTextCodec::codecForName("gb2312");
    if (codec) {
        QTextCodec::setCodecForLocale(codec);
    }
}

void applySettingsFile(const QString &appDir)
{
    GlobalVars::iniPath = appDir + QStringLiteral("/setup.ini");
    const QString server = Utils::readSetting(QStringLiteral("SETUP"), QStringLiteral("server"));
    if (!server.trimmed().isEmpty()) {
        GlobalVars::baseUrl = server;
    }
}
