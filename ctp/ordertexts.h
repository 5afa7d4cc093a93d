#pragma once

#include <ThostFtdcUserApiStruct.h>

#include <QString>

// The words for an order's side and offset, as the message area, the tables and the platform's
// reports write them.
QString offsetFlagText(char offsetFlag);
// "买入" or "卖出" for a CTP direction.
QString tradeSideText(char direction);
// The platform's words for an order: "多头 开仓", "空头 平今" and so on.
QString reportedOrderText(char direction, char offsetFlag);
// The line for an order cancelled before it was filled in full. The exchange's refusal says
// itself that the order is cancelled, so it is shown as the exchange words it; a part fill
// says how many lots were filled.
QString cancelledOrderLine(const CThostFtdcOrderField &order);
// What became of an order, as the activity shows it.
QString orderStateText(const CThostFtdcOrderField &order);
