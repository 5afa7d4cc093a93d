#include "servicefront.h"

#include "globalvars.h"
#include "simprocess.h"

#include <QDebug>
#include <QUrl>

#include <httplib.h>

bool startServiceFront(SimProcess &front, const QString &dataPath, const QStringList &extra)
{
    // As a real broker: the terminal authenticates before every login.
    const QStringList args =
        QStringList{"--td",        "127.0.0.1:0", "--md",   "127.0.0.1:0",   "--admin",
                    "127.0.0.1:0", "--data",      dataPath, "--require-auth"} +
        extra;
    if (!front.start(VELMORA_SIMFRONT_EXE, args, {"td", "md", "admin"})) {
        qWarning() << front.errorString() << front.standardError();
        return false;
    }
    GlobalVars::tdAddress = front.address("td");
    GlobalVars::mdAddress = front.address("md");
    useDemoTerminal();
    return true;
}

void useDemoTerminal()
{
    GlobalVars::appID = QStringLiteral("velmora_demo_1.0");
    GlobalVars::authCode = QStringLiteral("0000000000000000");
}

bool adminRequest(const SimProcess &front, const std::string &path, const std::string &body)
{
    const QUrl url(front.address("admin"));
    httplib::Client client(url.host().toStdString(), url.port());
    const auto result = body.empty() ? client.Delete(path.c_str())
                                     : client.Post(path.c_str(), body, "application/json");
    return result && result->status == 200;
}
