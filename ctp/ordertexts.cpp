#include "ordertexts.h"

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
