// Creates one API object on the flow path given and releases it again: the child process of the
// test of an unusable flow path, which ends the process that creates the object.
//
//   ctpapi_flowprobe trader|md <flow path>

#include "ThostFtdcMdApi.h"
#include "ThostFtdcTraderApi.h"

#include <cstring>

int main(int argc, char **argv)
{
    if (argc != 3) {
        return 2;
    }
    if (std::strcmp(argv[1], "md") == 0) {
        CThostFtdcMdApi::CreateFtdcMdApi(argv[2], false, false)->Release();
    } else {
        CThostFtdcTraderApi::CreateFtdcTraderApi(argv[2])->Release();
    }
    return 0;
}
