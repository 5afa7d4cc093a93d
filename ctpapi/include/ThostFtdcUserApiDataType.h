// Velmora's own declaration of the CTP interface's data types.
//
// The names, sizes and values are those of the public CTP trading interface, so that code written
// against these headers also builds against the vendor's. Only the types and constants that the
// records of ThostFtdcUserApiStruct.h and their users need are declared.

#ifndef THOST_FTDCDATATYPE_H
#define THOST_FTDCDATATYPE_H

#if defined(_MSC_VER) && _MSC_VER > 1000
#pragma once
#endif

enum THOST_TE_RESUME_TYPE
{
    THOST_TERT_RESTART = 0,
    THOST_TERT_RESUME,
    THOST_TERT_QUICK,
    THOST_TERT_NONE
};

// Texts: fixed-size byte arrays that always hold a terminating NUL.
typedef char TThostFtdcTraderIDType[21];
typedef char TThostFtdcInvestorIDType[13];
typedef char TThostFtdcBrokerIDType[11];
typedef char TThostFtdcBrokerAbbrType[9];
typedef char TThostFtdcBrokerNameType[81];
typedef char TThostFtdcOldExchangeInstIDType[31];
typedef char TThostFtdcExchangeInstIDType[81];
typedef char TThostFtdcOrderRefType[13];
typedef char TThostFtdcParticipantIDType[11];
typedef char TThostFtdcUserIDType[16];
typedef char TThostFtdcPasswordType[41];
typedef char TThostFtdcClientIDType[11];
typedef char TThostFtdcInstrumentIDType[81];
typedef char TThostFtdcOldInstrumentIDType[31];
typedef char TThostFtdcInstrumentCodeType[31];
typedef char TThostFtdcMarketIDType[31];
typedef char TThostFtdcProductNameType[21];
typedef char TThostFtdcExchangeIDType[9];
typedef char TThostFtdcExchangeNameType[61];
typedef char TThostFtdcExchangeAbbrType[9];
typedef char TThostFtdcExchangeFlagType[2];
typedef char TThostFtdcMacAddressType[21];
typedef char TThostFtdcSystemIDType[21];
typedef char TThostFtdcDateType[9];
typedef char TThostFtdcTimeType[9];
typedef char TThostFtdcLongTimeType[13];
typedef char TThostFtdcInstrumentNameType[21];
typedef char TThostFtdcSettlementGroupIDType[9];
typedef char TThostFtdcOrderSysIDType[21];
typedef char TThostFtdcTradeIDType[21];
typedef char TThostFtdcCommandTypeType[65];
typedef char TThostFtdcOldIPAddressType[16];
typedef char TThostFtdcIPAddressType[33];
typedef char TThostFtdcProductInfoType[11];
typedef char TThostFtdcAuthCodeType[17];
typedef char TThostFtdcAppIDType[33];
typedef char TThostFtdcProtocolInfoType[11];
typedef char TThostFtdcBusinessUnitType[21];
typedef char TThostFtdcDepositSeqNoType[15];
typedef char TThostFtdcIdentifiedCardNoType[51];
typedef char TThostFtdcOrderLocalIDType[13];
typedef char TThostFtdcUserNameType[81];
typedef char TThostFtdcPartyNameType[81];
typedef char TThostFtdcErrorMsgType[81];
typedef char TThostFtdcFieldNameType[2049];
typedef char TThostFtdcFieldContentType[2049];
typedef char TThostFtdcSystemNameType[41];
typedef char TThostFtdcSysVersionType[41];
typedef char TThostFtdcContentType[501];
typedef char TThostFtdcBranchIDType[9];
typedef char TThostFtdcInvestUnitIDType[17];
typedef char TThostFtdcAccountIDType[13];
typedef char TThostFtdcCurrencyIDType[4];
typedef char TThostFtdcLoginRemarkType[36];
typedef char TThostFtdcCombOffsetFlagType[5];
typedef char TThostFtdcCombHedgeFlagType[5];
typedef char TThostFtdcSequenceLabelType[2];
typedef char TThostFtdcOrderMemoType[13];

// Numbers.
typedef int TThostFtdcIPPortType;
typedef int TThostFtdcOrderActionRefType;
typedef int TThostFtdcInstallCountType;
typedef int TThostFtdcInstallIDType;
typedef int TThostFtdcErrorIDType;
typedef int TThostFtdcSettlementIDType;
typedef int TThostFtdcVolumeType;
typedef int TThostFtdcFrontIDType;
typedef int TThostFtdcSessionIDType;
typedef int TThostFtdcSequenceNoType;
typedef int TThostFtdcCommandNoType;
typedef int TThostFtdcMillisecType;
typedef int TThostFtdcVolumeMultipleType;
typedef int TThostFtdcTradingSegmentSNType;
typedef int TThostFtdcRequestIDType;
typedef int TThostFtdcYearType;
typedef int TThostFtdcMonthType;
typedef int TThostFtdcBoolType;
typedef int TThostFtdcPriorityType;
typedef short TThostFtdcSequenceSeriesType;
typedef short TThostFtdcCommPhaseNoType;
typedef double TThostFtdcPriceType;
typedef double TThostFtdcUnderlyingMultipleType;
typedef double TThostFtdcRatioType;
typedef double TThostFtdcMoneyType;
typedef double TThostFtdcLargeVolumeType;

// One-character codes and their values.
typedef char TThostFtdcExchangePropertyType;
#define THOST_FTDC_EXP_Normal '0'
#define THOST_FTDC_EXP_GenOrderByTrade '1'

typedef char TThostFtdcProductClassType;
#define THOST_FTDC_PC_Futures '1'
#define THOST_FTDC_PC_Options '2'
#define THOST_FTDC_PC_Combination '3'
#define THOST_FTDC_PC_Spot '4'
#define THOST_FTDC_PC_EFP '5'
#define THOST_FTDC_PC_SpotOption '6'

typedef char TThostFtdcInstLifePhaseType;
#define THOST_FTDC_IP_NotStart '0'
#define THOST_FTDC_IP_Started '1'
#define THOST_FTDC_IP_Pause '2'
#define THOST_FTDC_IP_Expired '3'

typedef char TThostFtdcDirectionType;
#define THOST_FTDC_D_Buy '0'
#define THOST_FTDC_D_Sell '1'

typedef char TThostFtdcPositionTypeType;
#define THOST_FTDC_PT_Net '1'
#define THOST_FTDC_PT_Gross '2'

typedef char TThostFtdcPosiDirectionType;
#define THOST_FTDC_PD_Net '1'
#define THOST_FTDC_PD_Long '2'
#define THOST_FTDC_PD_Short '3'

typedef char TThostFtdcHedgeFlagType;
#define THOST_FTDC_HF_Speculation '1'
#define THOST_FTDC_HF_Arbitrage '2'
#define THOST_FTDC_HF_Hedge '3'
#define THOST_FTDC_HF_MarketMaker '5'

typedef char TThostFtdcPositionDateType;
#define THOST_FTDC_PSD_Today '1'
#define THOST_FTDC_PSD_History '2'

typedef char TThostFtdcPositionDateTypeType;
#define THOST_FTDC_PDT_UseHistory '1'
#define THOST_FTDC_PDT_NoUseHistory '2'

typedef char TThostFtdcMaxMarginSideAlgorithmType;
#define THOST_FTDC_MMSA_NO '0'
#define THOST_FTDC_MMSA_YES '1'

typedef char TThostFtdcOptionsTypeType;
#define THOST_FTDC_CP_CallOptions '1'
#define THOST_FTDC_CP_PutOptions '2'

typedef char TThostFtdcCombinationTypeType;
#define THOST_FTDC_COMBT_Future '0'
#define THOST_FTDC_COMBT_BUL '1'
#define THOST_FTDC_COMBT_BER '2'
#define THOST_FTDC_COMBT_STD '3'
#define THOST_FTDC_COMBT_STG '4'
#define THOST_FTDC_COMBT_PRT '5'
#define THOST_FTDC_COMBT_CLD '6'

typedef char TThostFtdcOrderPriceTypeType;
#define THOST_FTDC_OPT_AnyPrice '1'
#define THOST_FTDC_OPT_LimitPrice '2'
#define THOST_FTDC_OPT_BestPrice '3'
#define THOST_FTDC_OPT_LastPrice '4'

typedef char TThostFtdcOffsetFlagType;
#define THOST_FTDC_OF_Open '0'
#define THOST_FTDC_OF_Close '1'
#define THOST_FTDC_OF_ForceClose '2'
#define THOST_FTDC_OF_CloseToday '3'
#define THOST_FTDC_OF_CloseYesterday '4'
#define THOST_FTDC_OF_ForceOff '5'
#define THOST_FTDC_OF_LocalForceClose '6'

typedef char TThostFtdcForceCloseReasonType;
#define THOST_FTDC_FCC_NotForceClose '0'
#define THOST_FTDC_FCC_LackDeposit '1'
#define THOST_FTDC_FCC_ClientOverPositionLimit '2'
#define THOST_FTDC_FCC_MemberOverPositionLimit '3'
#define THOST_FTDC_FCC_NotMultiple '4'
#define THOST_FTDC_FCC_Violation '5'
#define THOST_FTDC_FCC_Other '6'
#define THOST_FTDC_FCC_PersonDeliv '7'

typedef char TThostFtdcOrderTypeType;
#define THOST_FTDC_ORDT_Normal '0'
#define THOST_FTDC_ORDT_DeriveFromQuote '1'
#define THOST_FTDC_ORDT_DeriveFromCombination '2'
#define THOST_FTDC_ORDT_Combination '3'
#define THOST_FTDC_ORDT_ConditionalOrder '4'
#define THOST_FTDC_ORDT_Swap '5'

typedef char TThostFtdcTimeConditionType;
#define THOST_FTDC_TC_IOC '1'
#define THOST_FTDC_TC_GFS '2'
#define THOST_FTDC_TC_GFD '3'
#define THOST_FTDC_TC_GTD '4'
#define THOST_FTDC_TC_GTC '5'
#define THOST_FTDC_TC_GFA '6'

typedef char TThostFtdcVolumeConditionType;
#define THOST_FTDC_VC_AV '1'
#define THOST_FTDC_VC_MV '2'
#define THOST_FTDC_VC_CV '3'

typedef char TThostFtdcContingentConditionType;
#define THOST_FTDC_CC_Immediately '1'
#define THOST_FTDC_CC_Touch '2'
#define THOST_FTDC_CC_TouchProfit '3'
#define THOST_FTDC_CC_ParkedOrder '4'

typedef char TThostFtdcActionFlagType;
#define THOST_FTDC_AF_Delete '0'
#define THOST_FTDC_AF_Modify '3'

typedef char TThostFtdcOrderSubmitStatusType;
#define THOST_FTDC_OSS_InsertSubmitted '0'
#define THOST_FTDC_OSS_CancelSubmitted '1'
#define THOST_FTDC_OSS_ModifySubmitted '2'
#define THOST_FTDC_OSS_Accepted '3'
#define THOST_FTDC_OSS_InsertRejected '4'
#define THOST_FTDC_OSS_CancelRejected '5'
#define THOST_FTDC_OSS_ModifyRejected '6'

typedef char TThostFtdcOrderSourceType;
#define THOST_FTDC_OSRC_Participant '0'
#define THOST_FTDC_OSRC_Administrator '1'

typedef char TThostFtdcOrderStatusType;
#define THOST_FTDC_OST_AllTraded '0'
#define THOST_FTDC_OST_PartTradedQueueing '1'
#define THOST_FTDC_OST_PartTradedNotQueueing '2'
#define THOST_FTDC_OST_NoTradeQueueing '3'
#define THOST_FTDC_OST_NoTradeNotQueueing '4'
#define THOST_FTDC_OST_Canceled '5'
#define THOST_FTDC_OST_Unknown 'a'
#define THOST_FTDC_OST_NotTouched 'b'
#define THOST_FTDC_OST_Touched 'c'

typedef char TThostFtdcOrderActionStatusType;
#define THOST_FTDC_OAS_Submitted 'a'
#define THOST_FTDC_OAS_Accepted 'b'
#define THOST_FTDC_OAS_Rejected 'c'

typedef char TThostFtdcTradingRoleType;
#define THOST_FTDC_ER_Broker '1'
#define THOST_FTDC_ER_Host '2'
#define THOST_FTDC_ER_Maker '3'

typedef char TThostFtdcTradeTypeType;
#define THOST_FTDC_TRDT_SplitCombination '#'
#define THOST_FTDC_TRDT_Common '0'
#define THOST_FTDC_TRDT_OptionsExecution '1'
#define THOST_FTDC_TRDT_OTC '2'
#define THOST_FTDC_TRDT_EFPDerived '3'
#define THOST_FTDC_TRDT_CombinationDerived '4'
#define THOST_FTDC_TRDT_BlockTrade '5'

typedef char TThostFtdcPriceSourceType;
#define THOST_FTDC_PSRC_LastPrice '0'
#define THOST_FTDC_PSRC_Buy '1'
#define THOST_FTDC_PSRC_Sell '2'
#define THOST_FTDC_PSRC_OTC '3'

typedef char TThostFtdcTradeSourceType;
#define THOST_FTDC_TSRC_NORMAL '0'
#define THOST_FTDC_TSRC_QUERY '1'

typedef char TThostFtdcBizTypeType;
#define THOST_FTDC_BZTP_Future '1'
#define THOST_FTDC_BZTP_Stock '2'

typedef char TThostFtdcAppTypeType;
#define THOST_FTDC_APP_TYPE_Investor '1'
#define THOST_FTDC_APP_TYPE_InvestorRelay '2'
#define THOST_FTDC_APP_TYPE_OperatorRelay '3'
#define THOST_FTDC_APP_TYPE_UnKnown '4'

#endif
