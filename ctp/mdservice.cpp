#include "mdservice.h"

#include "flowpath.h"
#include "globalvars.h"
#include "mdspi.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMutexLocker>

#include <optional>

namespace {

// Takes the API object away from the request operations first, so none of them uses it while
// it goes; Release() then waits for a running callback, which may still send a request.
void releaseApi()
{
    if (CThostFtdcMdApi *api = MdSpi::api().take()) {
        api->Release();
    }
}

// A fresh API object on the callback object kept across starts; the failure's code, if any.
std::optional<int> startApi()
{
    const QString flowPath = mdFlowPath();
    if (!QDir(flowPath).exists()) {
        return -1;
    }
    if (!GlobalVars::mdSpi) {
        GlobalVars::mdSpi = new MdSpi;
    }
    releaseApi();
    // The folder's name as the file system spells it, so the library finds the folder made
    // above even when the user's name is not Latin-1.
    const QByteArray flow = QFile::encodeName(flowPath);
    CThostFtdcMdApi *api = CThostFtdcMdApi::CreateFtdcMdApi(flow.constData(), false, false);
    if (!api) {
        return -1;
    }
    MdSpi::api().put(api);
    api->RegisterSpi(GlobalVars::mdSpi);
    QByteArray address = static_cast<QString>(GlobalVars::mdAddress).toLatin1();
    api->RegisterFront(address.data());
    api->Init();
    return std::nullopt;
}

} // namespace

int MdService::init()
{
    QMutexLocker locker(&mutex);
    std::optional<int> failure;
    try {
        failure = startApi();
    } catch (int raised) {
        failure = raised;
    }
    if (failure) {
        qCritical() << "[CTP行情连接] 初始化连接时发生错误，请检查网络：" << *failure;
        return -1;
    }
    qCritical() << "[CTP行情连接] 初始化连接";
    return 0;
}

void MdService::release()
{
    QMutexLocker locker(&mutex);
    releaseApi();
    // Only now: the API object called the callback object up to its Release().
    delete GlobalVars::mdSpi.exchange(nullptr);
}

int MdService::reqUserLogin(int requestNo)
{
    return MdSpi::reqUserLogin(requestNo);
}

int MdService::reqUserLogout(int requestNo)
{
    return MdSpi::reqUserLogout(requestNo);
}
