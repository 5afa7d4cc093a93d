#include "flowpath.h"

#include "globalvars.h"
#include "utils.h"

#include <QDir>
#include <QMutex>
#include <QMutexLocker>

namespace {

QString flowPath(const char *side)
{
    // Names typed by the user or sent by the platform must not climb out of flow/.
    const QString path =
        QStringLiteral("flow/%1/%2_%3_%4_%5/")
            .arg(Utils::safePathComponent(GlobalVars::username),
                 Utils::safePathComponent(GlobalVars::brokerID),
                 Utils::safePathComponent(GlobalVars::investerID),
                 static_cast<QString>(GlobalVars::startStamp), QString::fromLatin1(side));
    QMutexLocker locker(GlobalVars::flowMutex);
    QDir dir(path);
    if (!dir.exists()) {
        dir.mkpath(dir.absolutePath());
    }
    return path;
}

} // namespace

QString tdFlowPath()
{
    return flowPath("td");
}

QString mdFlowPath()
{
    return flowPath("md");
}
