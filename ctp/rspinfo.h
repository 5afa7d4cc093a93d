#pragma once

#include <ThostFtdcUserApiStruct.h>

// Whether a response reports an error; an error is logged with its code and message.
bool isErrorRspInfo(CThostFtdcRspInfoField *pRspInfo);

// The response line of a request: the tag, the code and the message, one Qt debug stream.
void logRspInfo(const char *tag, const CThostFtdcRspInfoField &rspInfo);
