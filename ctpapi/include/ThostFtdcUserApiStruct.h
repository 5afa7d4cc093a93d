// Velmora's own declaration of the CTP interface's records.
//
// Every record is a plain struct of fixed-size fields named and sized as in the public CTP trading
// interface (recent layout: instrument codes are 81 bytes wide and the former 31-byte fields stay
// in place as reserve fields). Only the records that the client and the simulated front exchange
// are declared.

#ifndef THOST_FTDCSTRUCT_H
#define THOST_FTDCSTRUCT_H

#if defined(_MSC_VER) && _MSC_VER > 1000
#pragma once
#endif

#include "ThostFtdcUserApiDataType.h"

/// A login request
struct CThostFtdcReqUserLoginField
{
    TThostFtdcDateType TradingDay;
    TThostFtdcBrokerIDType BrokerID;
    TThostFtdcUserIDType UserID;
    TThostFtdcPasswordType Password;
    TThostFtdcProductInfoType UserProductInfo;
    TThostFtdcProductInfoType InterfaceProductInfo;
    TThostFtdcProtocolInfoType ProtocolInfo;
    TThostFtdcMacAddressType MacAddress;
    TThostFtdcPasswordType OneTimePassword;
    TThostFtdcOldIPAddressType reserve1;
    TThostFtdcLoginRemarkType LoginRemark;
    TThostFtdcIPPortType ClientIPPort;
    TThostFtdcIPAddressType ClientIPAddress;
};

/// A terminal's authentication, sent before the login
struct CThostFtdcReqAuthenticateField
{
    TThostFtdcBrokerIDType BrokerID;
    TThostFtdcUserIDType UserID;
    TThostFtdcProductInfoType UserProductInfo;
    TThostFtdcAuthCodeType AuthCode;
    TThostFtdcAppIDType AppID;
};

/// The answer to an authentication
struct CThostFtdcRspAuthenticateField
{
    TThostFtdcBrokerIDType BrokerID;
    TThostFtdcUserIDType UserID;
    TThostFtdcProductInfoType UserProductInfo;
    TThostFtdcAppIDType AppID;
    TThostFtdcAppTypeType AppType;
};

/// The answer to a login
struct CThostFtdcRspUserLoginField
{
    TThostFtdcDateType TradingDay;
    TThostFtdcTimeType LoginTime;
    TThostFtdcBrokerIDType BrokerID;
    TThostFtdcUserIDType UserID;
    TThostFtdcSystemNameType SystemName;
    TThostFtdcFrontIDType FrontID;
    TThostFtdcSessionIDType SessionID;
    TThostFtdcOrderRefType MaxOrderRef;
    TThostFtdcTimeType SHFETime;
    TThostFtdcTimeType DCETime;
    TThostFtdcTimeType CZCETime;
    TThostFtdcTimeType FFEXTime;
    TThostFtdcTimeType INETime;
    TThostFtdcSysVersionType SysVersion;
    TThostFtdcTimeType GFEXTime;
};

/// A logout request and its answer
struct CThostFtdcUserLogoutField
{
    TThostFtdcBrokerIDType BrokerID;
    TThostFtdcUserIDType UserID;
};

/// The outcome of a request
struct CThostFtdcRspInfoField
{
    TThostFtdcErrorIDType ErrorID;
    TThostFtdcErrorMsgType ErrorMsg;
};

/// The confirmation of a settlement statement
struct CThostFtdcSettlementInfoConfirmField
{
    TThostFtdcBrokerIDType BrokerID;
    TThostFtdcInvestorIDType InvestorID;
    TThostFtdcDateType ConfirmDate;
    TThostFtdcTimeType ConfirmTime;
    TThostFtdcSettlementIDType SettlementID;
    TThostFtdcAccountIDType AccountID;
    TThostFtdcCurrencyIDType CurrencyID;
};

/// A settlement statement query
struct CThostFtdcQrySettlementInfoField
{
    TThostFtdcBrokerIDType BrokerID;
    TThostFtdcInvestorIDType InvestorID;
    TThostFtdcDateType TradingDay;
    TThostFtdcAccountIDType AccountID;
    TThostFtdcCurrencyIDType CurrencyID;
};

/// One piece of a settlement statement
struct CThostFtdcSettlementInfoField
{
    TThostFtdcDateType TradingDay;
    TThostFtdcSettlementIDType SettlementID;
    TThostFtdcBrokerIDType BrokerID;
    TThostFtdcInvestorIDType InvestorID;
    TThostFtdcSequenceNoType SequenceNo;
    TThostFtdcContentType Content;
    TThostFtdcAccountIDType AccountID;
    TThostFtdcCurrencyIDType CurrencyID;
};

/// An instrument query
struct CThostFtdcQryInstrumentField
{
    TThostFtdcOldInstrumentIDType reserve1;
    TThostFtdcExchangeIDType ExchangeID;
    TThostFtdcOldExchangeInstIDType reserve2;
    TThostFtdcOldInstrumentIDType reserve3;
    TThostFtdcInstrumentIDType InstrumentID;
    TThostFtdcExchangeInstIDType ExchangeInstID;
    TThostFtdcInstrumentIDType ProductID;
};

/// An instrument
struct CThostFtdcInstrumentField
{
    TThostFtdcOldInstrumentIDType reserve1;
    TThostFtdcExchangeIDType ExchangeID;
    TThostFtdcInstrumentNameType InstrumentName;
    TThostFtdcOldExchangeInstIDType reserve2;
    TThostFtdcOldInstrumentIDType reserve3;
    TThostFtdcProductClassType ProductClass;
    TThostFtdcYearType DeliveryYear;
    TThostFtdcMonthType DeliveryMonth;
    TThostFtdcVolumeType MaxMarketOrderVolume;
    TThostFtdcVolumeType MinMarketOrderVolume;
    TThostFtdcVolumeType MaxLimitOrderVolume;
    TThostFtdcVolumeType MinLimitOrderVolume;
    TThostFtdcVolumeMultipleType VolumeMultiple;
    TThostFtdcPriceType PriceTick;
    TThostFtdcDateType CreateDate;
    TThostFtdcDateType OpenDate;
    TThostFtdcDateType ExpireDate;
    TThostFtdcDateType StartDelivDate;
    TThostFtdcDateType EndDelivDate;
    TThostFtdcInstLifePhaseType InstLifePhase;
    TThostFtdcBoolType IsTrading;
    TThostFtdcPositionTypeType PositionType;
    TThostFtdcPositionDateTypeType PositionDateType;
    TThostFtdcRatioType LongMarginRatio;
    TThostFtdcRatioType ShortMarginRatio;
    TThostFtdcMaxMarginSideAlgorithmType MaxMarginSideAlgorithm;
    TThostFtdcOldInstrumentIDType reserve4;
    TThostFtdcPriceType StrikePrice;
    TThostFtdcOptionsTypeType OptionsType;
    TThostFtdcUnderlyingMultipleType UnderlyingMultiple;
    TThostFtdcCombinationTypeType CombinationType;
    TThostFtdcInstrumentIDType InstrumentID;
    TThostFtdcExchangeInstIDType ExchangeInstID;
    TThostFtdcInstrumentIDType ProductID;
    TThostFtdcInstrumentIDType UnderlyingInstrID;
};

/// A position query
struct CThostFtdcQryInvestorPositionField
{
    TThostFtdcBrokerIDType BrokerID;
    TThostFtdcInvestorIDType InvestorID;
    TThostFtdcOldInstrumentIDType reserve1;
    TThostFtdcExchangeIDType ExchangeID;
    TThostFtdcInvestUnitIDType InvestUnitID;
    TThostFtdcInstrumentIDType InstrumentID;
};

/// A position
struct CThostFtdcInvestorPositionField
{
    TThostFtdcOldInstrumentIDType reserve1;
    TThostFtdcBrokerIDType BrokerID;
    TThostFtdcInvestorIDType InvestorID;
    TThostFtdcPosiDirectionType PosiDirection;
    TThostFtdcHedgeFlagType HedgeFlag;
    TThostFtdcPositionDateType PositionDate;
    TThostFtdcVolumeType YdPosition;
    TThostFtdcVolumeType Position;
    TThostFtdcVolumeType LongFrozen;
    TThostFtdcVolumeType ShortFrozen;
    TThostFtdcMoneyType LongFrozenAmount;
    TThostFtdcMoneyType ShortFrozenAmount;
    TThostFtdcVolumeType OpenVolume;
    TThostFtdcVolumeType CloseVolume;
    TThostFtdcMoneyType OpenAmount;
    TThostFtdcMoneyType CloseAmount;
    TThostFtdcMoneyType PositionCost;
    TThostFtdcMoneyType PreMargin;
    TThostFtdcMoneyType UseMargin;
    TThostFtdcMoneyType FrozenMargin;
    TThostFtdcMoneyType FrozenCash;
    TThostFtdcMoneyType FrozenCommission;
    TThostFtdcMoneyType CashIn;
    TThostFtdcMoneyType Commission;
    TThostFtdcMoneyType CloseProfit;
    TThostFtdcMoneyType PositionProfit;
    TThostFtdcPriceType PreSettlementPrice;
    TThostFtdcPriceType SettlementPrice;
    TThostFtdcDateType TradingDay;
    TThostFtdcSettlementIDType SettlementID;
    TThostFtdcMoneyType OpenCost;
    TThostFtdcMoneyType ExchangeMargin;
    TThostFtdcVolumeType CombPosition;
    TThostFtdcVolumeType CombLongFrozen;
    TThostFtdcVolumeType CombShortFrozen;
    TThostFtdcMoneyType CloseProfitByDate;
    TThostFtdcMoneyType CloseProfitByTrade;
    TThostFtdcVolumeType TodayPosition;
    TThostFtdcRatioType MarginRateByMoney;
    TThostFtdcRatioType MarginRateByVolume;
    TThostFtdcVolumeType StrikeFrozen;
    TThostFtdcMoneyType StrikeFrozenAmount;
    TThostFtdcVolumeType AbandonFrozen;
    TThostFtdcExchangeIDType ExchangeID;
    TThostFtdcVolumeType YdStrikeFrozen;
    TThostFtdcInvestUnitIDType InvestUnitID;
    TThostFtdcMoneyType PositionCostOffset;
    TThostFtdcVolumeType TasPosition;
    TThostFtdcMoneyType TasPositionCost;
    TThostFtdcInstrumentIDType InstrumentID;
};

/// A trading account query
struct CThostFtdcQryTradingAccountField
{
    TThostFtdcBrokerIDType BrokerID;
    TThostFtdcInvestorIDType InvestorID;
    TThostFtdcCurrencyIDType CurrencyID;
    TThostFtdcBizTypeType BizType;
    TThostFtdcAccountIDType AccountID;
};

/// A trading account
struct CThostFtdcTradingAccountField
{
    TThostFtdcBrokerIDType BrokerID;
    TThostFtdcAccountIDType AccountID;
    TThostFtdcMoneyType PreMortgage;
    TThostFtdcMoneyType PreCredit;
    TThostFtdcMoneyType PreDeposit;
    TThostFtdcMoneyType PreBalance;
    TThostFtdcMoneyType PreMargin;
    TThostFtdcMoneyType InterestBase;
    TThostFtdcMoneyType Interest;
    TThostFtdcMoneyType Deposit;
    TThostFtdcMoneyType Withdraw;
    TThostFtdcMoneyType FrozenMargin;
    TThostFtdcMoneyType FrozenCash;
    TThostFtdcMoneyType FrozenCommission;
    TThostFtdcMoneyType CurrMargin;
    TThostFtdcMoneyType CashIn;
    TThostFtdcMoneyType Commission;
    TThostFtdcMoneyType CloseProfit;
    TThostFtdcMoneyType PositionProfit;
    TThostFtdcMoneyType Balance;
    TThostFtdcMoneyType Available;
    TThostFtdcMoneyType WithdrawQuota;
    TThostFtdcMoneyType Reserve;
    TThostFtdcDateType TradingDay;
    TThostFtdcSettlementIDType SettlementID;
    TThostFtdcMoneyType Credit;
    TThostFtdcMoneyType Mortgage;
    TThostFtdcMoneyType ExchangeMargin;
    TThostFtdcMoneyType DeliveryMargin;
    TThostFtdcMoneyType ExchangeDeliveryMargin;
    TThostFtdcMoneyType ReserveBalance;
    TThostFtdcCurrencyIDType CurrencyID;
    TThostFtdcMoneyType PreFundMortgageIn;
    TThostFtdcMoneyType PreFundMortgageOut;
    TThostFtdcMoneyType FundMortgageIn;
    TThostFtdcMoneyType FundMortgageOut;
    TThostFtdcMoneyType FundMortgageAvailable;
    TThostFtdcMoneyType MortgageableFund;
    TThostFtdcMoneyType SpecProductMargin;
    TThostFtdcMoneyType SpecProductFrozenMargin;
    TThostFtdcMoneyType SpecProductCommission;
    TThostFtdcMoneyType SpecProductFrozenCommission;
    TThostFtdcMoneyType SpecProductPositionProfit;
    TThostFtdcMoneyType SpecProductCloseProfit;
    TThostFtdcMoneyType SpecProductPositionProfitByAlg;
    TThostFtdcMoneyType SpecProductExchangeMargin;
    TThostFtdcBizTypeType BizType;
    TThostFtdcMoneyType FrozenSwap;
    TThostFtdcMoneyType RemainSwap;
};

/// An order to insert
struct CThostFtdcInputOrderField
{
    TThostFtdcBrokerIDType BrokerID;
    TThostFtdcInvestorIDType InvestorID;
    TThostFtdcOldInstrumentIDType reserve1;
    TThostFtdcOrderRefType OrderRef;
    TThostFtdcUserIDType UserID;
    TThostFtdcOrderPriceTypeType OrderPriceType;
    TThostFtdcDirectionType Direction;
    TThostFtdcCombOffsetFlagType CombOffsetFlag;
    TThostFtdcCombHedgeFlagType CombHedgeFlag;
    TThostFtdcPriceType LimitPrice;
    TThostFtdcVolumeType VolumeTotalOriginal;
    TThostFtdcTimeConditionType TimeCondition;
    TThostFtdcDateType GTDDate;
    TThostFtdcVolumeConditionType VolumeCondition;
    TThostFtdcVolumeType MinVolume;
    TThostFtdcContingentConditionType ContingentCondition;
    TThostFtdcPriceType StopPrice;
    TThostFtdcForceCloseReasonType ForceCloseReason;
    TThostFtdcBoolType IsAutoSuspend;
    TThostFtdcBusinessUnitType BusinessUnit;
    TThostFtdcRequestIDType RequestID;
    TThostFtdcBoolType UserForceClose;
    TThostFtdcBoolType IsSwapOrder;
    TThostFtdcExchangeIDType ExchangeID;
    TThostFtdcInvestUnitIDType InvestUnitID;
    TThostFtdcAccountIDType AccountID;
    TThostFtdcCurrencyIDType CurrencyID;
    TThostFtdcClientIDType ClientID;
    TThostFtdcOldIPAddressType reserve2;
    TThostFtdcMacAddressType MacAddress;
    TThostFtdcInstrumentIDType InstrumentID;
    TThostFtdcIPAddressType IPAddress;
};

/// An order action (cancel or modify) request
struct CThostFtdcInputOrderActionField
{
    TThostFtdcBrokerIDType BrokerID;
    TThostFtdcInvestorIDType InvestorID;
    TThostFtdcOrderActionRefType OrderActionRef;
    TThostFtdcOrderRefType OrderRef;
    TThostFtdcRequestIDType RequestID;
    TThostFtdcFrontIDType FrontID;
    TThostFtdcSessionIDType SessionID;
    TThostFtdcExchangeIDType ExchangeID;
    TThostFtdcOrderSysIDType OrderSysID;
    TThostFtdcActionFlagType ActionFlag;
    TThostFtdcPriceType LimitPrice;
    TThostFtdcVolumeType VolumeChange;
    TThostFtdcUserIDType UserID;
    TThostFtdcOldInstrumentIDType reserve1;
    TThostFtdcInvestUnitIDType InvestUnitID;
    TThostFtdcOldIPAddressType reserve2;
    TThostFtdcMacAddressType MacAddress;
    TThostFtdcInstrumentIDType InstrumentID;
    TThostFtdcIPAddressType IPAddress;
};

/// An order as the front reports it
struct CThostFtdcOrderField
{
    TThostFtdcBrokerIDType BrokerID;
    TThostFtdcInvestorIDType InvestorID;
    TThostFtdcOldInstrumentIDType reserve1;
    TThostFtdcOrderRefType OrderRef;
    TThostFtdcUserIDType UserID;
    TThostFtdcOrderPriceTypeType OrderPriceType;
    TThostFtdcDirectionType Direction;
    TThostFtdcCombOffsetFlagType CombOffsetFlag;
    TThostFtdcCombHedgeFlagType CombHedgeFlag;
    TThostFtdcPriceType LimitPrice;
    TThostFtdcVolumeType VolumeTotalOriginal;
    TThostFtdcTimeConditionType TimeCondition;
    TThostFtdcDateType GTDDate;
    TThostFtdcVolumeConditionType VolumeCondition;
    TThostFtdcVolumeType MinVolume;
    TThostFtdcContingentConditionType ContingentCondition;
    TThostFtdcPriceType StopPrice;
    TThostFtdcForceCloseReasonType ForceCloseReason;
    TThostFtdcBoolType IsAutoSuspend;
    TThostFtdcBusinessUnitType BusinessUnit;
    TThostFtdcRequestIDType RequestID;
    TThostFtdcOrderLocalIDType OrderLocalID;
    TThostFtdcExchangeIDType ExchangeID;
    TThostFtdcParticipantIDType ParticipantID;
    TThostFtdcClientIDType ClientID;
    TThostFtdcOldExchangeInstIDType reserve2;
    TThostFtdcTraderIDType TraderID;
    TThostFtdcInstallIDType InstallID;
    TThostFtdcOrderSubmitStatusType OrderSubmitStatus;
    TThostFtdcSequenceNoType NotifySequence;
    TThostFtdcDateType TradingDay;
    TThostFtdcSettlementIDType SettlementID;
    TThostFtdcOrderSysIDType OrderSysID;
    TThostFtdcOrderSourceType OrderSource;
    TThostFtdcOrderStatusType OrderStatus;
    TThostFtdcOrderTypeType OrderType;
    TThostFtdcVolumeType VolumeTraded;
    TThostFtdcVolumeType VolumeTotal;
    TThostFtdcDateType InsertDate;
    TThostFtdcTimeType InsertTime;
    TThostFtdcTimeType ActiveTime;
    TThostFtdcTimeType SuspendTime;
    TThostFtdcTimeType UpdateTime;
    TThostFtdcTimeType CancelTime;
    TThostFtdcTraderIDType ActiveTraderID;
    TThostFtdcParticipantIDType ClearingPartID;
    TThostFtdcSequenceNoType SequenceNo;
    TThostFtdcFrontIDType FrontID;
    TThostFtdcSessionIDType SessionID;
    TThostFtdcProductInfoType UserProductInfo;
    TThostFtdcErrorMsgType StatusMsg;
    TThostFtdcBoolType UserForceClose;
    TThostFtdcUserIDType ActiveUserID;
    TThostFtdcSequenceNoType BrokerOrderSeq;
    TThostFtdcOrderSysIDType RelativeOrderSysID;
    TThostFtdcVolumeType ZCETotalTradedVolume;
    TThostFtdcBoolType IsSwapOrder;
    TThostFtdcBranchIDType BranchID;
    TThostFtdcInvestUnitIDType InvestUnitID;
    TThostFtdcAccountIDType AccountID;
    TThostFtdcCurrencyIDType CurrencyID;
    TThostFtdcOldIPAddressType reserve3;
    TThostFtdcMacAddressType MacAddress;
    TThostFtdcInstrumentIDType InstrumentID;
    TThostFtdcExchangeInstIDType ExchangeInstID;
    TThostFtdcIPAddressType IPAddress;
};

/// A fill
struct CThostFtdcTradeField
{
    TThostFtdcBrokerIDType BrokerID;
    TThostFtdcInvestorIDType InvestorID;
    TThostFtdcOldInstrumentIDType reserve1;
    TThostFtdcOrderRefType OrderRef;
    TThostFtdcUserIDType UserID;
    TThostFtdcExchangeIDType ExchangeID;
    TThostFtdcTradeIDType TradeID;
    TThostFtdcDirectionType Direction;
    TThostFtdcOrderSysIDType OrderSysID;
    TThostFtdcParticipantIDType ParticipantID;
    TThostFtdcClientIDType ClientID;
    TThostFtdcTradingRoleType TradingRole;
    TThostFtdcOldExchangeInstIDType reserve2;
    TThostFtdcOffsetFlagType OffsetFlag;
    TThostFtdcHedgeFlagType HedgeFlag;
    TThostFtdcPriceType Price;
    TThostFtdcVolumeType Volume;
    TThostFtdcDateType TradeDate;
    TThostFtdcTimeType TradeTime;
    TThostFtdcTradeTypeType TradeType;
    TThostFtdcPriceSourceType PriceSource;
    TThostFtdcTraderIDType TraderID;
    TThostFtdcOrderLocalIDType OrderLocalID;
    TThostFtdcParticipantIDType ClearingPartID;
    TThostFtdcBusinessUnitType BusinessUnit;
    TThostFtdcSequenceNoType SequenceNo;
    TThostFtdcDateType TradingDay;
    TThostFtdcSettlementIDType SettlementID;
    TThostFtdcSequenceNoType BrokerOrderSeq;
    TThostFtdcTradeSourceType TradeSource;
    TThostFtdcInvestUnitIDType InvestUnitID;
    TThostFtdcInstrumentIDType InstrumentID;
    TThostFtdcExchangeInstIDType ExchangeInstID;
};

/// An order action as the front reports it
struct CThostFtdcOrderActionField
{
    TThostFtdcBrokerIDType BrokerID;
    TThostFtdcInvestorIDType InvestorID;
    TThostFtdcOrderActionRefType OrderActionRef;
    TThostFtdcOrderRefType OrderRef;
    TThostFtdcRequestIDType RequestID;
    TThostFtdcFrontIDType FrontID;
    TThostFtdcSessionIDType SessionID;
    TThostFtdcExchangeIDType ExchangeID;
    TThostFtdcOrderSysIDType OrderSysID;
    TThostFtdcActionFlagType ActionFlag;
    TThostFtdcPriceType LimitPrice;
    TThostFtdcVolumeType VolumeChange;
    TThostFtdcDateType ActionDate;
    TThostFtdcTimeType ActionTime;
    TThostFtdcTraderIDType TraderID;
    TThostFtdcInstallIDType InstallID;
    TThostFtdcOrderLocalIDType OrderLocalID;
    TThostFtdcOrderLocalIDType ActionLocalID;
    TThostFtdcParticipantIDType ParticipantID;
    TThostFtdcClientIDType ClientID;
    TThostFtdcBusinessUnitType BusinessUnit;
    TThostFtdcOrderActionStatusType OrderActionStatus;
    TThostFtdcUserIDType UserID;
    TThostFtdcErrorMsgType StatusMsg;
    TThostFtdcOldInstrumentIDType reserve1;
    TThostFtdcBranchIDType BranchID;
    TThostFtdcInvestUnitIDType InvestUnitID;
    TThostFtdcOldIPAddressType reserve2;
    TThostFtdcMacAddressType MacAddress;
    TThostFtdcInstrumentIDType InstrumentID;
    TThostFtdcIPAddressType IPAddress;
};

/// A fill query
struct CThostFtdcQryTradeField
{
    TThostFtdcBrokerIDType BrokerID;
    TThostFtdcInvestorIDType InvestorID;
    TThostFtdcOldInstrumentIDType reserve1;
    TThostFtdcExchangeIDType ExchangeID;
    TThostFtdcTradeIDType TradeID;
    TThostFtdcTimeType TradeTimeStart;
    TThostFtdcTimeType TradeTimeEnd;
    TThostFtdcInvestUnitIDType InvestUnitID;
    TThostFtdcInstrumentIDType InstrumentID;
};

/// One instrument of a market-data subscription
struct CThostFtdcSpecificInstrumentField
{
    TThostFtdcOldInstrumentIDType reserve1;
    TThostFtdcInstrumentIDType InstrumentID;
};

/// A market-data snapshot; empty prices hold DBL_MAX
struct CThostFtdcDepthMarketDataField
{
    TThostFtdcDateType TradingDay;
    TThostFtdcOldInstrumentIDType reserve1;
    TThostFtdcExchangeIDType ExchangeID;
    TThostFtdcOldExchangeInstIDType reserve2;
    TThostFtdcPriceType LastPrice;
    TThostFtdcPriceType PreSettlementPrice;
    TThostFtdcPriceType PreClosePrice;
    TThostFtdcLargeVolumeType PreOpenInterest;
    TThostFtdcPriceType OpenPrice;
    TThostFtdcPriceType HighestPrice;
    TThostFtdcPriceType LowestPrice;
    TThostFtdcVolumeType Volume;
    TThostFtdcMoneyType Turnover;
    TThostFtdcLargeVolumeType OpenInterest;
    TThostFtdcPriceType ClosePrice;
    TThostFtdcPriceType SettlementPrice;
    TThostFtdcPriceType UpperLimitPrice;
    TThostFtdcPriceType LowerLimitPrice;
    TThostFtdcRatioType PreDelta;
    TThostFtdcRatioType CurrDelta;
    TThostFtdcTimeType UpdateTime;
    TThostFtdcMillisecType UpdateMillisec;
    TThostFtdcPriceType BidPrice1;
    TThostFtdcVolumeType BidVolume1;
    TThostFtdcPriceType AskPrice1;
    TThostFtdcVolumeType AskVolume1;
    TThostFtdcPriceType BidPrice2;
    TThostFtdcVolumeType BidVolume2;
    TThostFtdcPriceType AskPrice2;
    TThostFtdcVolumeType AskVolume2;
    TThostFtdcPriceType BidPrice3;
    TThostFtdcVolumeType BidVolume3;
    TThostFtdcPriceType AskPrice3;
    TThostFtdcVolumeType AskVolume3;
    TThostFtdcPriceType BidPrice4;
    TThostFtdcVolumeType BidVolume4;
    TThostFtdcPriceType AskPrice4;
    TThostFtdcVolumeType AskVolume4;
    TThostFtdcPriceType BidPrice5;
    TThostFtdcVolumeType BidVolume5;
    TThostFtdcPriceType AskPrice5;
    TThostFtdcVolumeType AskVolume5;
    TThostFtdcPriceType AveragePrice;
    TThostFtdcDateType ActionDay;
    TThostFtdcInstrumentIDType InstrumentID;
    TThostFtdcExchangeInstIDType ExchangeInstID;
    TThostFtdcPriceType BandingUpperPrice;
    TThostFtdcPriceType BandingLowerPrice;
};

#endif
