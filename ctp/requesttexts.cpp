#include "requesttexts.h"

const char kPositionFailure[] = "[查询持仓] 请求失败：[%1] %2。可以手动刷新持仓信息";
const char kAccountFailure[] = "[查询账户] 请求失败：[%1] %2。可以手动刷新账户信息";

QString requestResultText(int code)
{
    switch (code) {
    case 0:
        return QStringLiteral("请求成功");
    case -1:
        return QStringLiteral("网络连接失败");
    case -2:
        return QStringLiteral("未处理请求超过许可数");
    case -3:
        return QStringLiteral("每秒发送请求数超过许可数");
    case -4:
        return QStringLiteral("当前已有持仓，不能进行开仓操作");
    case -5:
        return QStringLiteral("当前没有持仓，不能进行平仓操作");
    case -7:
        return QStringLiteral("报单手数超出合约或账户允许的范围");
    default:
        return QStringLiteral("程序未初始化，或当前非交易时段");
    }
}

QString connectionStateText(int state)
{
    switch (state) {
    case 0:
        return QStringLiteral("已连接");
    case 1:
        return QStringLiteral("正在连接...");
    case 2:
        return QStringLiteral("连接失败");
    case 3:
        return QStringLiteral("连接已断开");
    default:
        return QStringLiteral("未连接");
    }
}

QString loginStateText(int state)
{
    switch (state) {
    case 0:
        return QStringLiteral("已登录");
    case 1:
        return QStringLiteral("正在登录...");
    case 2:
        return QStringLiteral("登录失败");
    case 3:
        return QStringLiteral("已退出登录");
    default:
        return QStringLiteral("未登录");
    }
}

QString disconnectionText(int reason)
{
    return QStringLiteral("已断开（原因0x%1）").arg(reason, 4, 16, QLatin1Char('0'));
}
