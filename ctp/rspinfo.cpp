#include "rspinfo.h"

#include "fieldtext.h"
#include "utils.h"

#include <QDebug>

bool isErrorRspInfo(CThostFtdcRspInfoField *pRspInfo)
{
    if (!pRspInfo || pRspInfo->ErrorID == 0) {
        return false;
    }
    qCritical() << "返回错误：错误码=" << pRspInfo->ErrorID
                << ", 错误信息=" << Utils::fromGb2312(fieldBytes(pRspInfo->ErrorMsg));
    return true;
}

void logRspInfo(const char *tag, const CThostFtdcRspInfoField &rspInfo)
{
    qCritical() << tag << rspInfo.ErrorID << "，返回信息："
                << Utils::fromGb2312(fieldBytes(rspInfo.ErrorMsg));
}
