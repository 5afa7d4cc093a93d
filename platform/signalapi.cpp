#include "signalapi.h"

#include "globalvars.h"
#include "httpread.h"
#include "messagebox.h"
#include "reportworker.h"
#include "sessionstore.h"
#include "signalobject.h"
#include "utils.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

#include <cmath>
#include <limits>

namespace {

const QString kCode = QStringLiteral("code");
const QString kMsg = QStringLiteral("msg");
const QString kData = QStringLiteral("data");
constexpr int kMaxHeldMessages = 200;

int codeOf(const QJsonObject &reply)
{
    return reply.value(kCode).toInt();
}

QString msgOf(const QJsonObject &reply)
{
    return reply.value(kMsg).toString();
}

void warnFormatError(const QString &tag)
{
    qWarning().noquote() << QStringLiteral("[%1] Warning: data format error").arg(tag);
}

// "[<tag>] Warning: " code ", " msg, streamed part by part like every other warning, so the
// message text arrives quoted.
void warnCode(const QString &tag, int code, const QString &msg, const char *suffix = nullptr)
{
    QDebug line = qWarning();
    line.noquote() << QStringLiteral("[%1] Warning: ").arg(tag);
    line.quote() << code << ", " << msg;
    if (suffix) {
        line << suffix;
    }
}

void informUser(const QString &text)
{
    MessageBox::information(nullptr, QString::fromUtf8("提示信息"), text);
}

// The longest period a timer's milliseconds can hold.
constexpr int kMaxTimerSeconds = std::numeric_limits<int>::max() / 1000;

QByteArray jsonText(const QJsonObject &object)
{
    return QJsonDocument(object).toJson();
}

} // namespace

SignalApi::SignalApi(QObject *parent)
    : QObject(parent), errorText(QString::fromUtf8("[错误] 读取远程数据出错")),
      reports(new ReportWorker)
{
}

SignalApi::~SignalApi()
{
    waitForReports(timeoutMs);
    reports.reset();
    delete messageRelay;
}

bool SignalApi::login()
{
    QJsonObject credentials;
    credentials.insert(QStringLiteral("username"), GlobalVars::username.get());
    credentials.insert(QStringLiteral("password"), GlobalVars::password.get());
    const QJsonObject r = HttpRead::postJson(QStringLiteral("/api/login"), jsonText(credentials),
                                             timeoutMs, false, QStringLiteral("Login"));

    const QJsonObject data = Utils::getObject(r, kData);
    const QString accountType = GlobalVars::accountType;
    const QJsonObject account = Utils::getObject(data, accountType);
    const QString unreadable = QString::fromUtf8("读取远程数据出错");

    if (!Utils::contains(r, QStringLiteral("code,msg"))) {
        showMessage(errorText);
        informUser(unreadable);
        return false;
    }
    const QString envName = accountType == QLatin1String("real") ? QString::fromUtf8("实盘交易")
                                                                 : QString::fromUtf8("模拟交易");
    if (codeOf(r) != 0) {
        showMessage(QString::fromUtf8("[提示信息] ") + msgOf(r));
        informUser(msgOf(r));
        return false;
    }
    if (!Utils::contains(
            data, QStringLiteral("username,realname,mobile,regdate,state,profit,loginCode,token,"
                                 "maxCapital"))) {
        showMessage(errorText);
        informUser(unreadable);
        return false;
    }
    if (!Utils::contains(account, QStringLiteral("brokerID,instrument,investerID"))) {
        showMessage(QString::fromUtf8("[提示信息] 请先设置") + envName +
                    QString::fromUtf8("信息后再登录"));
        informUser(QString::fromUtf8("请先设置") + envName + QString::fromUtf8("信息后再登录"));
        return false;
    }

    GlobalVars::state = data.value(QStringLiteral("state")).toBool();
    GlobalVars::token = data.value(QStringLiteral("token")).toString();
    GlobalVars::profit = data.value(QStringLiteral("profit")).toDouble();
    GlobalVars::maxCapital = data.value(QStringLiteral("maxCapital")).toDouble();
    GlobalVars::loginCode = data.value(QStringLiteral("loginCode")).toString();
    GlobalVars::brokerID = account.value(QStringLiteral("brokerID")).toString();
    GlobalVars::instrument = account.value(QStringLiteral("instrument")).toString();
    GlobalVars::investerID = account.value(QStringLiteral("investerID")).toString();
    openSessionStore();
    return true;
}

void SignalApi::openSessionStore()
{
    const QString file =
        QStringLiteral("%1/%2-%3-%4.sqlite")
            .arg(GlobalVars::dataFolder.get(), Utils::safePathComponent(GlobalVars::username),
                 Utils::safePathComponent(GlobalVars::brokerID),
                 Utils::safePathComponent(GlobalVars::investerID));
    QString notice;
    std::shared_ptr<SessionStore> store = SessionStore::open(file, &notice);
    if (!notice.isEmpty()) {
        qCritical().noquote() << notice;
        showMessage(notice);
    }
    SessionStore::setCurrent(store);
    if (!store) {
        return;
    }
    // About a trading week: what an earlier process of the same days did still counts.
    store->prune(7);
    for (const QString &id : store->actedSignals(GlobalVars::accountType)) {
        if (!GlobalVars::signalIds.contains(id)) {
            GlobalVars::signalIds.append(id);
        }
    }
    reports->recover(store, timeoutMs, reportRetry);
}

bool SignalApi::getConfig()
{
    const QString tag = QStringLiteral("Config");
    const QJsonObject r =
        HttpRead::postWithToken(QStringLiteral("/api/config"), QByteArray(), timeoutMs, true, tag);

    if (!Utils::contains(r, QStringLiteral("code,msg"))) {
        warnFormatError(tag);
        return false;
    }
    if (codeOf(r) != 0) {
        warnCode(tag, codeOf(r), msgOf(r));
        return false;
    }
    const QJsonObject data = Utils::getObject(r, kData);
    const QJsonObject env = Utils::getObject(data, GlobalVars::accountType);
    if (!Utils::contains(
            data, QStringLiteral("signalTimerSeconds,tokenTimerSeconds,version,leverage,simulation,"
                                 "real")) ||
        !Utils::contains(env, QStringLiteral("mdAddress,tdAddress,name"))) {
        warnCode(tag, 0, msgOf(r), " | data not found");
        return false;
    }

    for (const auto &[key, period] :
         {std::pair{QStringLiteral("signalTimerSeconds"), &GlobalVars::signalTimerSeconds},
          std::pair{QStringLiteral("tokenTimerSeconds"), &GlobalVars::tokenTimerSeconds}}) {
        *period = timerSeconds(key, data.value(key), *period);
    }
    GlobalVars::version = data.value(QStringLiteral("version")).toString();
    GlobalVars::leverage = data.value(QStringLiteral("leverage")).toInt();
    GlobalVars::name = env.value(QStringLiteral("name")).toString();

    // The platform may give a front as host:port only; the CTP libraries need the scheme.
    const QString scheme = QStringLiteral("tcp://");
    QString mdAddress = env.value(QStringLiteral("mdAddress")).toString();
    QString tdAddress = env.value(QStringLiteral("tdAddress")).toString();
    if (!mdAddress.contains(scheme, Qt::CaseSensitive)) {
        mdAddress.prepend(scheme);
    }
    if (!tdAddress.contains(scheme, Qt::CaseSensitive)) {
        tdAddress.prepend(scheme);
    }
    GlobalVars::mdAddress = mdAddress;
    GlobalVars::tdAddress = tdAddress;
    // Optional: a broker that does not check terminals needs no pair.
    GlobalVars::appID = env.value(QStringLiteral("appID")).toString();
    GlobalVars::authCode = env.value(QStringLiteral("authCode")).toString();
    return true;
}

int SignalApi::timerSeconds(const QString &key, const QJsonValue &value, int last)
{
    const double seconds = value.toDouble(-1);
    if (value.isDouble() && seconds >= 1 && seconds <= kMaxTimerSeconds) {
        badTimerValues.remove(key);
        return static_cast<int>(seconds);
    }
    const int kept = last >= 1 && last <= kMaxTimerSeconds ? last : 1;
    // The configuration is read again every ten minutes; the same bad value is said once.
    if (!badTimerValues.contains(key) || badTimerValues.value(key) != value) {
        badTimerValues.insert(key, value);
        qWarning().noquote() << QStringLiteral("[Config] Warning: %1 = %2 不可用，沿用 %3 秒")
                                    .arg(key, QString::fromUtf8(QJsonDocument(QJsonArray{value})
                                                                    .toJson(QJsonDocument::Compact)
                                                                    .mid(1)
                                                                    .chopped(1)))
                                    .arg(kept);
    }
    return kept;
}

bool SignalApi::getToken()
{
    const QString tag = QStringLiteral("Auth");
    const QJsonObject r =
        HttpRead::postWithToken(QStringLiteral("/api/token"), QByteArray(), timeoutMs, false, tag);

    // A token that is not a string is as unreadable as a missing one; taking it as "" would
    // end the session at the next request while reporting the renewal as done.
    if (!Utils::contains(r, QStringLiteral("code,msg,data")) ||
        (codeOf(r) == 0 && !r.value(kData).isString())) {
        warnFormatError(tag);
        return false;
    }
    if (codeOf(r) != 0) {
        warnCode(tag, codeOf(r), msgOf(r), " | data not found");
        return false;
    }
    GlobalVars::token = r.value(kData).toString();
    return true;
}

bool SignalApi::getUserData()
{
    const QString tag = QStringLiteral("User");
    const QJsonObject r = HttpRead::postWithToken(QStringLiteral("/api/userData"), QByteArray(),
                                                  timeoutMs, true, tag);

    const QJsonObject data = Utils::getObject(r, kData);
    const QJsonObject account = Utils::getObject(data, GlobalVars::accountType);

    if (!Utils::contains(r, QStringLiteral("code,msg"))) {
        warnFormatError(tag);
        return false;
    }
    const int code = codeOf(r);
    if (code == 401) {
        GlobalVars::strategyState = 5;
        qWarning() << "[提示信息] 检测到异地登录";
        return false;
    }
    if (code != 0) {
        warnCode(tag, code, msgOf(r));
        return false;
    }
    if (!Utils::contains(data, QStringLiteral("username,realname,mobile,regdate,state,profit,"
                                              "loginCode,maxCapital,simulation,real"))) {
        return false;
    }

    GlobalVars::state = data.value(QStringLiteral("state")).toBool();
    GlobalVars::profit = data.value(QStringLiteral("profit")).toDouble();
    GlobalVars::maxCapital = data.value(QStringLiteral("maxCapital")).toDouble();

    if (data.value(QStringLiteral("loginCode")).toString() != GlobalVars::loginCode.get()) {
        GlobalVars::strategyState = 5;
        qWarning() << "[提示信息] 检测到异地登录";
        return false;
    }
    if (account.value(QStringLiteral("brokerID")).toString() != GlobalVars::brokerID.get() ||
        account.value(QStringLiteral("investerID")).toString() != GlobalVars::investerID.get()) {
        GlobalVars::strategyState = 4;
        showMessage(QString::fromUtf8("[提示信息] "
                                      "检测到交易账户已修改，不要同时运行多个程序，或在程序运行时改"
                                      "变合约"));
        qWarning() << "[提示信息] 检测到交易账户已修改";
        return false;
    }
    if (account.value(QStringLiteral("instrument")).toString() != GlobalVars::instrument.get()) {
        GlobalVars::strategyState = 4;
        showMessage(QString::fromUtf8(
            "[提示信息] 检测到合约已修改，不要同时运行多个程序，或在程序运行时改变合约"));
        qWarning() << "[提示信息] 检测到合约已修改";
        return false;
    }
    return true;
}

QString SignalApi::getLoginMessage()
{
    const QString tag = QStringLiteral("Message");
    const QJsonObject r = HttpRead::postJson(QStringLiteral("/api/getLoginMessage"), QByteArray(),
                                             timeoutMs, false, tag);

    if (!Utils::contains(r, QStringLiteral("code,msg"))) {
        warnFormatError(tag);
        return errorText;
    }
    if (codeOf(r) != 0) {
        warnCode(tag, codeOf(r), msgOf(r));
        return msgOf(r);
    }
    const QJsonObject data = Utils::getObject(r, kData);
    if (!Utils::contains(data, QStringLiteral("message"))) {
        warnCode(tag, 0, msgOf(r), " | data not found");
        return errorText;
    }
    return data.value(QStringLiteral("message")).toString();
}

void SignalApi::showMessage(QString text)
{
    QObject *window = SignalObject::mainWindow();
    if (!window) {
        qCritical().noquote() << QStringLiteral("[消息区] 主窗口尚未就绪：") + text;
        // Bounded, since a program that never gets a window would otherwise only grow.
        if (heldMessages.size() >= kMaxHeldMessages) {
            heldMessages.removeFirst();
        }
        heldMessages << text;
        return;
    }
    if (!messageRelay || messageRelay->receiverObject() != window) {
        delete messageRelay;
        messageRelay = new SignalObject(window, SIGNAL(sendSignal(QString)), SLOT(append(QString)));
    }
    for (const QString &held : qAsConst(heldMessages)) {
        emit messageRelay->sendSignal(held);
    }
    heldMessages.clear();
    emit messageRelay->sendSignal(text);
}

bool SignalApi::signalReal(QJsonObject *signal)
{
    return fetchSignal(QStringLiteral("/api/signalReal"), QStringLiteral("SR"), signal);
}

bool SignalApi::signalSimulation(QJsonObject *signal)
{
    return fetchSignal(QStringLiteral("/api/signalSimulation"), QStringLiteral("SS"), signal);
}

bool SignalApi::fetchSignal(const QString &path, const QString &tag, QJsonObject *signal)
{
    const QJsonObject r = HttpRead::postWithToken(path, QByteArray(), timeoutMs, false, tag);

    if (!Utils::contains(r, QStringLiteral("code,msg"))) {
        warnFormatError(tag);
        return false;
    }
    if (codeOf(r) != 0) {
        warnCode(tag, codeOf(r), msgOf(r));
        return false;
    }
    const QJsonObject data = Utils::getObject(r, kData);
    if (!Utils::contains(data, QStringLiteral("id,instrument,direction,expires,isExpired,isTraded,"
                                              "openOrClose"))) {
        warnCode(tag, 0, msgOf(r), " | data not found");
        return false;
    }
    // A flag of another type would read as false, and a traded or expired signal would be acted
    // on; an id that is no string would read as "" and pass for a new signal every time.
    if (!data.value(QStringLiteral("id")).isString() ||
        !data.value(QStringLiteral("isTraded")).isBool() ||
        !data.value(QStringLiteral("isExpired")).isBool()) {
        warnCode(tag, 0, msgOf(r), " | data malformed");
        return false;
    }
    *signal = data;
    return true;
}

void SignalApi::tradeReal(QString orderID, QString signalID, QString direction, int submitVolume,
                          double price, QString type)
{
    sendOrderReport(QStringLiteral("/api/tradeReal"), QStringLiteral("TR"), orderID, signalID,
                    direction, submitVolume, price, type);
}

void SignalApi::tradeSimulation(QString orderID, QString signalID, QString direction,
                                int submitVolume, double price, QString type)
{
    sendOrderReport(QStringLiteral("/api/tradeSimulation"), QStringLiteral("TS"), orderID, signalID,
                    direction, submitVolume, price, type);
}

void SignalApi::tradeRealSuccess(QString orderID, int volume, double price, const QString &fillName)
{
    sendFillReport(QStringLiteral("/api/tradeRealSuccess"), QStringLiteral("TRS"), orderID, volume,
                   price, fillName);
}

void SignalApi::tradeSimulationSuccess(QString orderID, int volume, double price,
                                       const QString &fillName)
{
    sendFillReport(QStringLiteral("/api/tradeSimulationSuccess"), QStringLiteral("TSS"), orderID,
                   volume, price, fillName);
}

void SignalApi::reportOrder(QString orderID, QString signalID, QString direction, int submitVolume,
                            double price)
{
    const QString type =
        signalID == QLatin1String("0") ? QString::fromUtf8("手动") : QString::fromUtf8("自动");
    const QString accountType = GlobalVars::accountType;
    if (accountType == QLatin1String("real")) {
        tradeReal(orderID, signalID, direction, submitVolume, price, type);
    } else if (accountType == QLatin1String("simulation")) {
        tradeSimulation(orderID, signalID, direction, submitVolume, price, type);
    }
}

void SignalApi::reportFill(QString orderID, int volume, double price, const QString &fillName)
{
    const QString accountType = GlobalVars::accountType;
    if (accountType == QLatin1String("real")) {
        tradeRealSuccess(orderID, volume, price, fillName);
    } else if (accountType == QLatin1String("simulation")) {
        tradeSimulationSuccess(orderID, volume, price, fillName);
    }
}

bool SignalApi::waitForReports(int timeoutMs)
{
    const int waiting = reports->waitUntilSent(timeoutMs);
    if (waiting > 0) {
        qCritical().noquote()
            << QStringLiteral("[平台报告] 等待超时，尚有 %1 条报告未发出").arg(waiting);
    }
    return waiting == 0;
}

void SignalApi::sendOrderReport(const QString &path, const QString &tag, const QString &orderID,
                                const QString &signalID, const QString &direction, int submitVolume,
                                double price, const QString &type)
{
    QJsonObject report;
    report.insert(QStringLiteral("token"), GlobalVars::token.get());
    report.insert(QStringLiteral("username"), GlobalVars::username.get());
    report.insert(QStringLiteral("instrument"), GlobalVars::instrument.get());
    report.insert(QStringLiteral("brokerID"), GlobalVars::brokerID.get());
    report.insert(QStringLiteral("signalID"), signalID);
    report.insert(QStringLiteral("direction"), direction);
    report.insert(QStringLiteral("submitVolume"), submitVolume);
    report.insert(QStringLiteral("price"), price);
    report.insert(QStringLiteral("available"), GlobalVars::available.load());
    report.insert(QStringLiteral("leverage"), GlobalVars::leverage.load());
    report.insert(QStringLiteral("profit"), GlobalVars::profit.load());
    report.insert(QStringLiteral("volumeMultiple"), GlobalVars::volumeMultiple.load());
    report.insert(QStringLiteral("type"), type);
    report.insert(QStringLiteral("orderID"), orderID);
    sendReport(path, tag, report, orderID, QByteArray());
}

void SignalApi::sendFillReport(const QString &path, const QString &tag, const QString &orderID,
                               int volume, double price, const QString &fillName)
{
    QJsonObject report;
    report.insert(QStringLiteral("token"), GlobalVars::token.get());
    report.insert(QStringLiteral("username"), GlobalVars::username.get());
    report.insert(QStringLiteral("orderID"), orderID);
    report.insert(QStringLiteral("volume"), volume);
    report.insert(QStringLiteral("price"), price);
    QByteArray key;
    if (!fillName.isEmpty()) {
        static const QUuid kFillNamespace(QStringLiteral("6f1d3c52-8a0e-4b9e-9d0c-5b7e2f4a1c37"));
        key = QUuid::createUuidV5(kFillNamespace, fillName).toByteArray(QUuid::WithoutBraces);
    }
    sendReport(path, tag, report, QString(), key);
}

void SignalApi::sendReport(const QString &path, const QString &tag, const QJsonObject &report,
                           const QString &orderKey, const QByteArray &idempotencyKey)
{
    // The URL and every value are fixed now; the worker only sends.
    reports->enqueue(path, jsonText(report), timeoutMs, tag, reportRetry, orderKey, idempotencyKey);
}
