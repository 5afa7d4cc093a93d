#include "ordertexts.h"

#include "fieldtext.h"
#include "utils.h"

#include <ThostFtdcUserApiDataType.h>

QString offsetFlagText(char offsetFlag)
{
    switch (offsetFlag) {
    case THOST_FTDC_OF_Open:
        return QStringLiteral("开仓");
    case THOST_FTDC_OF_Close:
        return QStringLiteral("平仓");
    case THOST_FTDC_OF_ForceClose:
        return QStringLiteral("强平");
    case THOST_FTDC_OF_CloseToday:
        return QStringLiteral("平今");
    case THOST_FTDC_OF_CloseYesterday:
        return QStringLiteral("平昨");
    case THOST_FTDC_OF_ForceOff:
        return QStringLiteral("强减");
    case THOST_FTDC_OF_LocalForceClose:
        return QStringLiteral("本地强平");
    default:
        return QString();
    }
}

QString tradeSideText(char direction)
{
    return direction == THOST_FTDC_D_Buy ? QStringLiteral("买入") : QStringLiteral("卖出");
}

QString reportedOrderText(char direction, char offsetFlag)
{
    const QString side =
        direction == THOST_FTDC_D_Buy ? QStringLiteral("多头") : QStringLiteral("空头");
    return QStringLiteral("%1 %2").arg(side, offsetFlagText(offsetFlag));
}

QString cancelledOrderLine(const CThostFtdcOrderField &order)
{
    const QString status = Utils::fromGb2312(fieldBytes(order.StatusMsg));
    if (order.OrderSubmitStatus == THOST_FTDC_OSS_InsertRejected) {
        return QStringLiteral("[报单状态] %1，限价：%2").arg(status).arg(order.LimitPrice);
    }
    if (order.VolumeTraded > 0) {
        return QStringLiteral("[报单状态] %1，限价：%2，成交%3手，其余已撤单！")
            .arg(status)
            .arg(order.LimitPrice)
            .arg(order.VolumeTraded);
    }
    return QStringLiteral("[报单状态] %1，限价：%2，未成交，已撤单！")
        .arg(status)
        .arg(order.LimitPrice);
}

QString orderStateText(const CThostFtdcOrderField &order)
{
    if (order.OrderSubmitStatus == THOST_FTDC_OSS_InsertRejected) {
        return QStringLiteral("被拒绝：") + Utils::fromGb2312(fieldBytes(order.StatusMsg));
    }
    switch (order.OrderStatus) {
    case THOST_FTDC_OST_AllTraded:
        return QStringLiteral("全部成交（%1手）").arg(order.VolumeTraded);
    case THOST_FTDC_OST_PartTradedQueueing:
    case THOST_FTDC_OST_PartTradedNotQueueing:
        return QStringLiteral("部分成交（%1手）").arg(order.VolumeTraded);
    case THOST_FTDC_OST_Canceled:
        return order.VolumeTraded > 0
                   ? QStringLiteral("成交%1手，其余已撤单").arg(order.VolumeTraded)
                   : QStringLiteral("已撤单");
    default:
        return QStringLiteral("已接受");
    }
}
