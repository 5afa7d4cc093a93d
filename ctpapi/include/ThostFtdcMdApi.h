// Velmora's own declaration of the CTP market-data API.
//
// Class, method and callback names, signatures and the order of the callbacks follow the public
// CTP market-data interface, so that a client written against this header builds unchanged
// against the vendor's. Only the calls and callbacks that the client uses are declared.

#ifndef THOST_FTDCMDAPI_H
#define THOST_FTDCMDAPI_H

#if defined(_MSC_VER) && _MSC_VER > 1000
#pragma once
#endif

#include "ThostFtdcUserApiStruct.h"

#if defined(ISLIB) && (defined(WIN32) || defined(_WIN32))
#ifdef LIB_MD_API_EXPORT
#define MD_API_EXPORT __declspec(dllexport)
#else
#define MD_API_EXPORT __declspec(dllimport)
#endif
#else
#define MD_API_EXPORT
#endif

class CThostFtdcMdSpi
{
public:
    /// The front has welcomed the connection (after Init and after every automatic
    /// reconnection); requests before it return -1.
    virtual void OnFrontConnected() {}

    /// The connection was lost; the API reconnects by itself. Reason codes as for trading.
    virtual void OnFrontDisconnected(int nReason) {}

    /// Nothing was heard from the front for nTimeLapse seconds, or a callback kept the API from
    /// reading for as long.
    virtual void OnHeartBeatWarning(int nTimeLapse) {}

    virtual void OnRspUserLogin(CThostFtdcRspUserLoginField *pRspUserLogin,
                                CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
    {
    }

    virtual void OnRspUserLogout(CThostFtdcUserLogoutField *pUserLogout,
                                 CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
    {
    }

    virtual void OnRspError(CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast) {}

    virtual void OnRspSubMarketData(CThostFtdcSpecificInstrumentField *pSpecificInstrument,
                                    CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
    {
    }

    virtual void OnRspUnSubMarketData(CThostFtdcSpecificInstrumentField *pSpecificInstrument,
                                      CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                      bool bIsLast)
    {
    }

    /// One snapshot; price fields without a value hold DBL_MAX.
    virtual void OnRtnDepthMarketData(CThostFtdcDepthMarketDataField *pDepthMarketData) {}
};

class MD_API_EXPORT CThostFtdcMdApi
{
public:
    /// Creates an API object with its file velmora-md.flow at pszFlowPath, laid out as the
    /// trading API's flow path. The folder must exist and be writable; otherwise the process ends
    /// here with exit code 1 after one line on stderr. UDP and multicast are not offered by this
    /// implementation and the two flags are accepted and ignored.
    static CThostFtdcMdApi *CreateFtdcMdApi(const char *pszFlowPath = "",
                                            const bool bIsUsingUdp = false,
                                            const bool bIsMulticast = false);

    static const char *GetApiVersion();

    /// Ends the object and frees it. Callbacks run on the API's I/O thread, the one that reads
    /// the socket. From any other thread Release returns once that thread has ended and no
    /// callback runs or can start: it waits for a running callback as long as that takes (so the
    /// Spi may be destroyed right after), and while it waits longer than two seconds it names
    /// that callback on stderr every two seconds, as a callback waiting on a lock the releasing
    /// thread holds never returns. From inside a callback it stops every further callback and
    /// the connection and returns at once; the object is freed on the I/O thread when that
    /// callback returns. Release may run while another thread is inside Init, but the object
    /// must not be used after Release.
    virtual void Release() = 0;

    virtual void Init() = 0;

    virtual int Join() = 0;

    virtual const char *GetTradingDay() = 0;

    /// pszFrontAddress: "tcp://host:port". Several fronts are tried in turn.
    virtual void RegisterFront(char *pszFrontAddress) = 0;

    virtual void RegisterSpi(CThostFtdcMdSpi *pSpi) = 0;

    virtual int SubscribeMarketData(char *ppInstrumentID[], int nCount) = 0;

    virtual int UnSubscribeMarketData(char *ppInstrumentID[], int nCount) = 0;

    virtual int ReqUserLogin(CThostFtdcReqUserLoginField *pReqUserLoginField, int nRequestID) = 0;

    virtual int ReqUserLogout(CThostFtdcUserLogoutField *pUserLogout, int nRequestID) = 0;

protected:
    ~CThostFtdcMdApi() {}
};

#endif
