#pragma once

#include "ThostFtdcMdApi.h"
#include "ThostFtdcTraderApi.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framecodec.h"
#include "framereader.h"

namespace httplib {
class Client;
}

// One answer as a callback delivered it.
struct Answer
{
    std::string kind; // the callback's name without "OnRsp", e.g. "UserLogin"
    int requestId = 0;
    bool isLast = false;
    bool hasInfo = false;
    int errorId = 0;
    std::string errorMsg; // converted from GB2312
    bool hasRecord = false;
};

// What a trading client received, in order.
struct TraderState
{
    int connected = 0;
    std::vector<int> disconnects;
    std::vector<Answer> answers;
    std::vector<CThostFtdcRspUserLoginField> logins;
    std::vector<CThostFtdcSettlementInfoField> settlement;
    std::vector<CThostFtdcInstrumentField> instruments;
    std::vector<CThostFtdcInvestorPositionField> positions;
    std::vector<CThostFtdcTradingAccountField> accounts;
    std::vector<CThostFtdcOrderField> orders;
    std::vector<CThostFtdcTradeField> trades;
    std::vector<Answer> insertErrors;   // OnRspOrderInsert
    std::vector<Answer> exchangeErrors; // OnErrRtnOrderInsert

    int answersOf(const std::string &kind, bool lastOnly = true) const;
    const Answer *lastAnswer(const std::string &kind) const;
};

// The callback object of a trading client: records what arrives, lets the test thread wait.
class TraderRecorder : public CThostFtdcTraderSpi
{
public:
    TraderState state() const;
    void clear();
    bool waitFor(const std::function<bool(const TraderState &)> &done, int timeoutMs);

    void OnFrontConnected() override;
    void OnFrontDisconnected(int nReason) override;
    void OnRspUserLogin(CThostFtdcRspUserLoginField *p, CThostFtdcRspInfoField *info, int id,
                        bool last) override;
    void OnRspUserLogout(CThostFtdcUserLogoutField *p, CThostFtdcRspInfoField *info, int id,
                         bool last) override;
    void OnRspOrderInsert(CThostFtdcInputOrderField *p, CThostFtdcRspInfoField *info, int id,
                          bool last) override;
    void OnRspSettlementInfoConfirm(CThostFtdcSettlementInfoConfirmField *p,
                                    CThostFtdcRspInfoField *info, int id, bool last) override;
    void OnRspQryInvestorPosition(CThostFtdcInvestorPositionField *p, CThostFtdcRspInfoField *info,
                                  int id, bool last) override;
    void OnRspQryTradingAccount(CThostFtdcTradingAccountField *p, CThostFtdcRspInfoField *info,
                                int id, bool last) override;
    void OnRspQryInstrument(CThostFtdcInstrumentField *p, CThostFtdcRspInfoField *info, int id,
                            bool last) override;
    void OnRspQrySettlementInfo(CThostFtdcSettlementInfoField *p, CThostFtdcRspInfoField *info,
                                int id, bool last) override;
    void OnRspError(CThostFtdcRspInfoField *info, int id, bool last) override;
    void OnRtnOrder(CThostFtdcOrderField *p) override;
    void OnRtnTrade(CThostFtdcTradeField *p) override;
    void OnErrRtnOrderInsert(CThostFtdcInputOrderField *p, CThostFtdcRspInfoField *info) override;

private:
    Answer record(const char *kind, CThostFtdcRspInfoField *info, int id, bool last,
                  bool hasRecord);
    template <class T> void keep(std::vector<T> &list, T *p);
    template <class T>
    void answerWith(const char *kind, std::vector<T> &list, T *p, CThostFtdcRspInfoField *info,
                    int id, bool last);
    void update(const std::function<void(TraderState &)> &change);

    mutable std::mutex mutex;
    std::condition_variable changed;
    TraderState s;
};

// A trading API object of the client library with its recorder; the test thread sends through
// it and waits on what the callback thread recorded.
class TraderClient
{
public:
    TraderClient(const std::string &flowDir, const std::string &address,
                 THOST_TE_RESUME_TYPE privateResume = THOST_TERT_RESTART);
    ~TraderClient();
    TraderClient(const TraderClient &) = delete;
    TraderClient &operator=(const TraderClient &) = delete;

    CThostFtdcTraderApi *api() { return api_; }
    TraderState state() const { return spi->state(); }
    void clear() { spi->clear(); }
    bool waitFor(const std::function<bool(const TraderState &)> &done, int timeoutMs = 10000)
    {
        return spi->waitFor(done, timeoutMs);
    }

    int login(const std::string &investor, const std::string &password, int requestId);
    // Connects, logs in and confirms the statement; false when any step failed.
    bool ready(const std::string &investor = "000001");
    int order(const std::string &instrument, char direction, char offset, int volume, double price,
              int orderRef, int requestId = 21, const std::string &investor = "000001");
    // Sends a query (retrying while the client library's flow control refuses it) and waits
    // for its last answer.
    bool query(const std::string &kind, const std::function<int(int)> &send, int requestId);

private:
    CThostFtdcTraderApi *api_ = nullptr;
    TraderRecorder *spi = nullptr; // kept to the end of the process, see retire()
};

struct MdState
{
    int connected = 0;
    std::vector<int> disconnects;
    std::vector<Answer> answers;
    std::vector<CThostFtdcSpecificInstrumentField> subscribed;
    std::vector<CThostFtdcDepthMarketDataField> ticks;

    int ticksOf(const std::string &instrument) const;
    int answersOf(const std::string &kind) const;
};

class MdRecorder : public CThostFtdcMdSpi
{
public:
    MdState state() const;
    bool waitFor(const std::function<bool(const MdState &)> &done, int timeoutMs);

    void OnFrontConnected() override;
    void OnFrontDisconnected(int nReason) override;
    void OnRspUserLogin(CThostFtdcRspUserLoginField *p, CThostFtdcRspInfoField *info, int id,
                        bool last) override;
    void OnRspSubMarketData(CThostFtdcSpecificInstrumentField *p, CThostFtdcRspInfoField *info,
                            int id, bool last) override;
    void OnRspUnSubMarketData(CThostFtdcSpecificInstrumentField *p, CThostFtdcRspInfoField *info,
                              int id, bool last) override;
    void OnRtnDepthMarketData(CThostFtdcDepthMarketDataField *p) override;

private:
    void update(const std::function<void(MdState &)> &change);

    mutable std::mutex mutex;
    std::condition_variable changed;
    MdState s;
};

class MdClient
{
public:
    MdClient(const std::string &flowDir, const std::string &address);
    ~MdClient();
    MdClient(const MdClient &) = delete;
    MdClient &operator=(const MdClient &) = delete;

    CThostFtdcMdApi *api() { return api_; }
    MdState state() const { return spi->state(); }
    bool waitFor(const std::function<bool(const MdState &)> &done, int timeoutMs = 10000)
    {
        return spi->waitFor(done, timeoutMs);
    }
    int login(int requestId);
    int subscribe(const std::vector<std::string> &instruments);

private:
    CThostFtdcMdApi *api_ = nullptr;
    MdRecorder *spi = nullptr;
};

// The front's admin interface over HTTP.
class AdminClient
{
public:
    explicit AdminClient(const std::string &baseUrl);
    ~AdminClient();
    // The decoded JSON answer; null when the request failed or was not answered with 200.
    nlohmann::json get(const std::string &path);
    nlohmann::json post(const std::string &path, const nlohmann::json &body = {});
    int lastStatus() const { return status; }

private:
    std::unique_ptr<httplib::Client> client;
    int status = 0;
};

std::string fromGb2312(const char *text);
// Writes all of bytes to a blocking socket; false when the peer is gone.
bool sendAll(int fd, const std::vector<unsigned char> &bytes);

// A trading connection in plain frames, for what the client library hides: the numbers of the
// private stream in the frame header, and exactly what the front sends in which order.
class RawTradeLink
{
public:
    RawTradeLink() = default;
    ~RawTradeLink();
    RawTradeLink(const RawTradeLink &) = delete;
    RawTradeLink &operator=(const RawTradeLink &) = delete;

    // Connects and sends the topic subscription, as the trading API does first.
    bool open(const std::string &address, int privateResume, int privateSequence = 0,
              const std::string &tradingDay = {});
    bool send(velmora::wire::MsgType type, int requestId, const void *record, std::size_t size);
    template <class T> bool send(velmora::wire::MsgType type, int requestId, const T &record)
    {
        return send(type, requestId, &record, sizeof record);
    }
    // The ErrorID of the login's answer, -1 when none came.
    int login(const std::string &investor, const std::string &password = "123456");
    // The ErrorID of the authentication's answer, -1 when none came.
    int authenticate(const std::string &investor, const std::string &appId,
                     const std::string &authCode, const std::string &broker = "9999");
    // Logs in and confirms the statement; false unless both succeed.
    bool ready(const std::string &investor = "000001");
    bool order(const std::string &instrument, char direction, int volume, double price,
               int orderRef, int requestId = 21, char volumeCondition = '3');
    // Sends a heartbeat and reads until its answer: everything the front sent before is in.
    bool sync(int timeoutMs = 10000);
    // Reads until `done` holds for the frames received so far.
    bool readUntil(const std::function<bool(const std::vector<velmora::wire::Frame> &)> &done,
                   int timeoutMs = 10000);
    const std::vector<velmora::wire::Frame> &frames() const { return received; }
    // The private stream received: RtnOrder and RtnTrade frames, in order.
    std::vector<velmora::wire::Frame> stream() const;

private:
    // Sends a request and reads until the first answer of its kind: its ErrorID, -1 for none.
    int answerTo(velmora::wire::MsgType request, int requestId, const void *record,
                 std::size_t size, velmora::wire::MsgType answer);

    int fd = -1;
    velmora::wire::FrameReader reader{velmora::wire::Direction::ToClient};
    std::vector<velmora::wire::Frame> received;
};
