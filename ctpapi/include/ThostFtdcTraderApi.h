// Velmora's own declaration of the CTP trading API.
//
// Class, method and callback names, signatures and the order of the callbacks follow the public
// CTP trading interface, so that a client written against this header builds unchanged against
// the vendor's. Only the calls and callbacks that the client uses are declared.

#ifndef THOST_FTDCTRADERAPI_H
#define THOST_FTDCTRADERAPI_H

#if defined(_MSC_VER) && _MSC_VER > 1000
#pragma once
#endif

#include "ThostFtdcUserApiStruct.h"

// On Windows the vendor's library is a DLL: ISLIB selects import or export; a static build of
// this library leaves the macro empty.
#if defined(ISLIB) && (defined(WIN32) || defined(_WIN32))
#ifdef LIB_TRADER_API_EXPORT
#define TRADER_API_EXPORT __declspec(dllexport)
#else
#define TRADER_API_EXPORT __declspec(dllimport)
#endif
#else
#define TRADER_API_EXPORT
#endif

class CThostFtdcTraderSpi
{
public:
    /// The front has welcomed the connection (after Init and after every automatic
    /// reconnection); requests before it return -1.
    virtual void OnFrontConnected() {}

    /// The connection was lost; the API reconnects by itself.
    /// @param nReason 0x1001 read failure, 0x1002 write failure, 0x2001 heartbeat time-out,
    ///                0x2002 heartbeat send failure, 0x2003 malformed message from the front
    virtual void OnFrontDisconnected(int nReason) {}

    /// Nothing was heard from the front for nTimeLapse seconds, or a callback kept the API from
    /// reading for as long.
    virtual void OnHeartBeatWarning(int nTimeLapse) {}

    /// The answer to ReqAuthenticate; a broker that requires authentication refuses the login of
    /// a connection without a successful one.
    virtual void OnRspAuthenticate(CThostFtdcRspAuthenticateField *pRspAuthenticateField,
                                   CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
    {
    }

    virtual void OnRspUserLogin(CThostFtdcRspUserLoginField *pRspUserLogin,
                                CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
    {
    }

    virtual void OnRspUserLogout(CThostFtdcUserLogoutField *pUserLogout,
                                 CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
    {
    }

    virtual void OnRspOrderInsert(CThostFtdcInputOrderField *pInputOrder,
                                  CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
    {
    }

    virtual void OnRspOrderAction(CThostFtdcInputOrderActionField *pInputOrderAction,
                                  CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
    {
    }

    virtual void
    OnRspSettlementInfoConfirm(CThostFtdcSettlementInfoConfirmField *pSettlementInfoConfirm,
                               CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
    {
    }

    virtual void OnRspQryTrade(CThostFtdcTradeField *pTrade, CThostFtdcRspInfoField *pRspInfo,
                               int nRequestID, bool bIsLast)
    {
    }

    virtual void OnRspQryInvestorPosition(CThostFtdcInvestorPositionField *pInvestorPosition,
                                          CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                          bool bIsLast)
    {
    }

    virtual void OnRspQryTradingAccount(CThostFtdcTradingAccountField *pTradingAccount,
                                        CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                        bool bIsLast)
    {
    }

    virtual void OnRspQryInstrument(CThostFtdcInstrumentField *pInstrument,
                                    CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast)
    {
    }

    virtual void OnRspQrySettlementInfo(CThostFtdcSettlementInfoField *pSettlementInfo,
                                        CThostFtdcRspInfoField *pRspInfo, int nRequestID,
                                        bool bIsLast)
    {
    }

    virtual void OnRspError(CThostFtdcRspInfoField *pRspInfo, int nRequestID, bool bIsLast) {}

    virtual void OnRtnOrder(CThostFtdcOrderField *pOrder) {}

    virtual void OnRtnTrade(CThostFtdcTradeField *pTrade) {}

    virtual void OnErrRtnOrderInsert(CThostFtdcInputOrderField *pInputOrder,
                                     CThostFtdcRspInfoField *pRspInfo)
    {
    }

    virtual void OnErrRtnOrderAction(CThostFtdcOrderActionField *pOrderAction,
                                     CThostFtdcRspInfoField *pRspInfo)
    {
    }
};

class TRADER_API_EXPORT CThostFtdcTraderApi
{
public:
    /// Creates an API object. pszFlowPath is where the object keeps its flow file (the trading
    /// day and the last private-stream notice handed to the Spi, which THOST_TERT_RESUME
    /// resumes after): a folder when it ends with '/', else a prefix of the file name; "" is the
    /// working folder. The folder must exist and be writable; otherwise the process ends here
    /// with exit code 1 after one line on stderr.
    static CThostFtdcTraderApi *CreateFtdcTraderApi(const char *pszFlowPath = "");

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

    /// Starts connecting to the registered front(s).
    virtual void Init() = 0;

    /// Waits until the object is released; returns 0.
    virtual int Join() = 0;

    /// The trading day of the last login ("" before the first).
    virtual const char *GetTradingDay() = 0;

    /// pszFrontAddress: "tcp://host:port". Several fronts are tried in turn.
    virtual void RegisterFront(char *pszFrontAddress) = 0;

    virtual void RegisterSpi(CThostFtdcTraderSpi *pSpi) = 0;

    virtual void SubscribePrivateTopic(THOST_TE_RESUME_TYPE nResumeType) = 0;

    virtual void SubscribePublicTopic(THOST_TE_RESUME_TYPE nResumeType) = 0;

    // Requests return 0 when accepted for sending, -1 when not connected, -2 when a query is
    // still unanswered, -3 when the per-second query limit is reached.

    /// Authenticates the terminal (AppID and AuthCode given by the broker) on this connection.
    virtual int ReqAuthenticate(CThostFtdcReqAuthenticateField *pReqAuthenticateField,
                                int nRequestID) = 0;

    virtual int ReqUserLogin(CThostFtdcReqUserLoginField *pReqUserLoginField, int nRequestID) = 0;

    virtual int ReqUserLogout(CThostFtdcUserLogoutField *pUserLogout, int nRequestID) = 0;

    virtual int ReqOrderInsert(CThostFtdcInputOrderField *pInputOrder, int nRequestID) = 0;

    virtual int
    ReqSettlementInfoConfirm(CThostFtdcSettlementInfoConfirmField *pSettlementInfoConfirm,
                             int nRequestID) = 0;

    virtual int ReqQryTrade(CThostFtdcQryTradeField *pQryTrade, int nRequestID) = 0;

    virtual int ReqQryInvestorPosition(CThostFtdcQryInvestorPositionField *pQryInvestorPosition,
                                       int nRequestID) = 0;

    virtual int ReqQryTradingAccount(CThostFtdcQryTradingAccountField *pQryTradingAccount,
                                     int nRequestID) = 0;

    virtual int ReqQryInstrument(CThostFtdcQryInstrumentField *pQryInstrument, int nRequestID) = 0;

    virtual int ReqQrySettlementInfo(CThostFtdcQrySettlementInfoField *pQrySettlementInfo,
                                     int nRequestID) = 0;

protected:
    ~CThostFtdcTraderApi() {}
};

#endif
