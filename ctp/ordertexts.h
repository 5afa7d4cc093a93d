#pragma once

#include <QString>

// The words for an order's side and offset, as the message area, the tables and the platform's
// reports write them.
QString offsetFlagText(char offsetFlag);
// "买入" or "卖出" for a CTP direction.
QString tradeSideText(char direction);
