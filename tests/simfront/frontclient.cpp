#include "frontclient.h"

#include <QTextCodec>

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

bool sendAll(int fd, const std::vector<unsigned char> &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

std::string fromGb2312(const char *text)
{
    QTextCodec *codec = QTextCodec::codecForName("GB2312");
    return codec->toUnicode(text, int(std::strlen(text))).toStdString();
}

namespace {

template <std::size_t N> void copy(char (&field)[N], const std::string &text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

CThostFtdcInputOrderField limitOrder(const std::string &investor, const std::string &instrument,
                                     char direction, char offset, int volume, double price,
                                     int orderRef, char volumeCondition)
{
    CThostFtdcInputOrderField o{};
    copy(o.BrokerID, "9999");
    copy(o.InvestorID, investor);
    copy(o.InstrumentID, instrument);
    copy(o.OrderRef, std::to_string(orderRef));
    o.OrderPriceType = THOST_FTDC_OPT_LimitPrice;
    o.Direction = direction;
    o.CombOffsetFlag[0] = offset;
    o.CombHedgeFlag[0] = THOST_FTDC_HF_Speculation;
    o.LimitPrice = price;
    o.VolumeTotalOriginal = volume;
    o.TimeCondition = THOST_FTDC_TC_IOC;
    o.VolumeCondition = volumeCondition;
    o.MinVolume = 1;
    o.ContingentCondition = THOST_FTDC_CC_Immediately;
    o.ForceCloseReason = THOST_FTDC_FCC_NotForceClose;
    return o;
}

Answer makeAnswer(const char *kind, CThostFtdcRspInfoField *info, int id, bool last, bool hasRecord)
{
    Answer a;
    a.kind = kind;
    a.requestId = id;
    a.isLast = last;
    a.hasInfo = info != nullptr;
    a.errorId = info ? info->ErrorID : 0;
    a.errorMsg = info ? fromGb2312(info->ErrorMsg) : std::string();
    a.hasRecord = hasRecord;
    return a;
}

// Release() does not wait for a callback that is already running on the library's thread, so
// a callback object is never destroyed while the process runs: the few a test creates are
// kept here and reclaimed at exit.
template <class T> void retire(T *spi)
{
    static std::mutex mutex;
    static std::vector<std::unique_ptr<T>> retired;
    std::lock_guard<std::mutex> lock(mutex);
    retired.emplace_back(spi);
}

} // namespace

int TraderState::answersOf(const std::string &kind, bool lastOnly) const
{
    int n = 0;
    for (const Answer &a : answers) {
        n += (a.kind == kind && (!lastOnly || a.isLast)) ? 1 : 0;
    }
    return n;
}

const Answer *TraderState::lastAnswer(const std::string &kind) const
{
    for (auto it = answers.rbegin(); it != answers.rend(); ++it) {
        if (it->kind == kind) {
            return &*it;
        }
    }
    return nullptr;
}

TraderState TraderRecorder::state() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return s;
}

void TraderRecorder::clear()
{
    update([](TraderState &st) {
        TraderState fresh;
        fresh.connected = st.connected;
        fresh.disconnects = st.disconnects;
        st = fresh;
    });
}

bool TraderRecorder::waitFor(const std::function<bool(const TraderState &)> &done, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done(s); });
}

void TraderRecorder::update(const std::function<void(TraderState &)> &change)
{
    std::lock_guard<std::mutex> lock(mutex);
    change(s);
    changed.notify_all();
}

Answer TraderRecorder::record(const char *kind, CThostFtdcRspInfoField *info, int id, bool last,
                              bool hasRecord)
{
    Answer a = makeAnswer(kind, info, id, last, hasRecord);
    s.answers.push_back(a);
    return a;
}

template <class T> void TraderRecorder::keep(std::vector<T> &list, T *p)
{
    if (p) {
        list.push_back(*p);
    }
}

template <class T>
void TraderRecorder::answerWith(const char *kind, std::vector<T> &list, T *p,
                                CThostFtdcRspInfoField *info, int id, bool last)
{
    std::lock_guard<std::mutex> lock(mutex);
    keep(list, p);
    record(kind, info, id, last, p != nullptr);
    changed.notify_all();
}

void TraderRecorder::OnFrontConnected()
{
    update([](TraderState &st) { ++st.connected; });
}

void TraderRecorder::OnFrontDisconnected(int nReason)
{
    update([&](TraderState &st) { st.disconnects.push_back(nReason); });
}

void TraderRecorder::OnRspUserLogin(CThostFtdcRspUserLoginField *p, CThostFtdcRspInfoField *info,
                                    int id, bool last)
{
    answerWith("UserLogin", s.logins, p, info, id, last);
}

void TraderRecorder::OnRspUserLogout(CThostFtdcUserLogoutField *p, CThostFtdcRspInfoField *info,
                                     int id, bool last)
{
    update([&](TraderState &) { record("UserLogout", info, id, last, p != nullptr); });
}

void TraderRecorder::OnRspOrderInsert(CThostFtdcInputOrderField *p, CThostFtdcRspInfoField *info,
                                      int id, bool last)
{
    update([&](TraderState &st) {
        st.insertErrors.push_back(record("OrderInsert", info, id, last, p != nullptr));
    });
}

void TraderRecorder::OnRspSettlementInfoConfirm(CThostFtdcSettlementInfoConfirmField *p,
                                                CThostFtdcRspInfoField *info, int id, bool last)
{
    update([&](TraderState &) { record("SettlementInfoConfirm", info, id, last, p != nullptr); });
}

void TraderRecorder::OnRspQryInvestorPosition(CThostFtdcInvestorPositionField *p,
                                              CThostFtdcRspInfoField *info, int id, bool last)
{
    answerWith("QryInvestorPosition", s.positions, p, info, id, last);
}

void TraderRecorder::OnRspQryTradingAccount(CThostFtdcTradingAccountField *p,
                                            CThostFtdcRspInfoField *info, int id, bool last)
{
    answerWith("QryTradingAccount", s.accounts, p, info, id, last);
}

void TraderRecorder::OnRspQryInstrument(CThostFtdcInstrumentField *p, CThostFtdcRspInfoField *info,
                                        int id, bool last)
{
    answerWith("QryInstrument", s.instruments, p, info, id, last);
}

void TraderRecorder::OnRspQrySettlementInfo(CThostFtdcSettlementInfoField *p,
                                            CThostFtdcRspInfoField *info, int id, bool last)
{
    answerWith("QrySettlementInfo", s.settlement, p, info, id, last);
}

void TraderRecorder::OnRspError(CThostFtdcRspInfoField *info, int id, bool last)
{
    update([&](TraderState &) { record("Error", info, id, last, false); });
}

void TraderRecorder::OnRtnOrder(CThostFtdcOrderField *p)
{
    update([&](TraderState &st) { keep(st.orders, p); });
}

void TraderRecorder::OnRtnTrade(CThostFtdcTradeField *p)
{
    update([&](TraderState &st) { keep(st.trades, p); });
}

void TraderRecorder::OnErrRtnOrderInsert(CThostFtdcInputOrderField *p, CThostFtdcRspInfoField *info)
{
    update([&](TraderState &st) {
        st.exchangeErrors.push_back(makeAnswer("ErrRtnOrderInsert", info, 0, true, p != nullptr));
    });
}

TraderClient::TraderClient(const std::string &flowDir, const std::string &address,
                           THOST_TE_RESUME_TYPE privateResume)
    : spi(new TraderRecorder)
{
    api_ = CThostFtdcTraderApi::CreateFtdcTraderApi(flowDir.c_str());
    api_->RegisterSpi(spi);
    api_->SubscribePublicTopic(THOST_TERT_RESTART);
    api_->SubscribePrivateTopic(privateResume);
    std::string front = address;
    api_->RegisterFront(front.data());
    api_->Init();
}

TraderClient::~TraderClient()
{
    api_->Release();
    retire(spi);
}

int TraderClient::login(const std::string &investor, const std::string &password, int requestId)
{
    CThostFtdcReqUserLoginField req{};
    copy(req.BrokerID, "9999");
    copy(req.UserID, investor);
    copy(req.Password, password);
    copy(req.UserProductInfo, "velmora");
    return api_->ReqUserLogin(&req, requestId);
}

bool TraderClient::ready(const std::string &investor)
{
    if (!waitFor([](const TraderState &st) { return st.connected > 0; })) {
        return false;
    }
    const int before = state().answersOf("UserLogin");
    if (login(investor, "123456", 11) != 0 ||
        !waitFor([&](const TraderState &st) { return st.answersOf("UserLogin") > before; })) {
        return false;
    }
    if (state().lastAnswer("UserLogin")->errorId != 0) {
        return false;
    }
    CThostFtdcSettlementInfoConfirmField confirm{};
    copy(confirm.BrokerID, "9999");
    copy(confirm.InvestorID, investor);
    const int confirmed = state().answersOf("SettlementInfoConfirm");
    return api_->ReqSettlementInfoConfirm(&confirm, 12) == 0 && waitFor([&](const TraderState &st) {
               return st.answersOf("SettlementInfoConfirm") > confirmed;
           }) &&
           state().lastAnswer("SettlementInfoConfirm")->errorId == 0;
}

int TraderClient::order(const std::string &instrument, char direction, char offset, int volume,
                        double price, int orderRef, int requestId, const std::string &investor)
{
    CThostFtdcInputOrderField o = limitOrder(investor, instrument, direction, offset, volume, price,
                                             orderRef, THOST_FTDC_VC_CV);
    return api_->ReqOrderInsert(&o, requestId);
}

bool TraderClient::query(const std::string &kind, const std::function<int(int)> &send,
                         int requestId)
{
    const int before = state().answersOf(kind);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int rc = send(requestId);
    // -2 and -3 are the client library's flow control; wait and send again.
    while ((rc == -2 || rc == -3) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        rc = send(requestId);
    }
    return rc == 0 && waitFor([&](const TraderState &st) { return st.answersOf(kind) > before; });
}

int MdState::ticksOf(const std::string &instrument) const
{
    int n = 0;
    for (const auto &t : ticks) {
        n += instrument == t.InstrumentID ? 1 : 0;
    }
    return n;
}

int MdState::answersOf(const std::string &kind) const
{
    int n = 0;
    for (const Answer &a : answers) {
        n += a.kind == kind ? 1 : 0;
    }
    return n;
}

MdState MdRecorder::state() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return s;
}

bool MdRecorder::waitFor(const std::function<bool(const MdState &)> &done, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done(s); });
}

void MdRecorder::update(const std::function<void(MdState &)> &change)
{
    std::lock_guard<std::mutex> lock(mutex);
    change(s);
    changed.notify_all();
}

void MdRecorder::OnFrontConnected()
{
    update([](MdState &st) { ++st.connected; });
}

void MdRecorder::OnFrontDisconnected(int nReason)
{
    update([&](MdState &st) { st.disconnects.push_back(nReason); });
}

void MdRecorder::OnRspUserLogin(CThostFtdcRspUserLoginField *p, CThostFtdcRspInfoField *info,
                                int id, bool last)
{
    update([&](MdState &st) {
        st.answers.push_back(makeAnswer("UserLogin", info, id, last, p != nullptr));
    });
}

void MdRecorder::OnRspSubMarketData(CThostFtdcSpecificInstrumentField *p,
                                    CThostFtdcRspInfoField *info, int id, bool last)
{
    update([&](MdState &st) {
        st.answers.push_back(makeAnswer("SubMarketData", info, id, last, p != nullptr));
        if (p && (!info || info->ErrorID == 0)) {
            st.subscribed.push_back(*p);
        }
    });
}

void MdRecorder::OnRspUnSubMarketData(CThostFtdcSpecificInstrumentField *p,
                                      CThostFtdcRspInfoField *info, int id, bool last)
{
    update([&](MdState &st) {
        st.answers.push_back(makeAnswer("UnSubMarketData", info, id, last, p != nullptr));
    });
}

void MdRecorder::OnRtnDepthMarketData(CThostFtdcDepthMarketDataField *p)
{
    update([&](MdState &st) {
        if (p) {
            st.ticks.push_back(*p);
        }
    });
}

MdClient::MdClient(const std::string &flowDir, const std::string &address) : spi(new MdRecorder)
{
    api_ = CThostFtdcMdApi::CreateFtdcMdApi(flowDir.c_str(), false, false);
    api_->RegisterSpi(spi);
    std::string front = address;
    api_->RegisterFront(front.data());
    api_->Init();
}

MdClient::~MdClient()
{
    api_->Release();
    retire(spi);
}

int MdClient::login(int requestId)
{
    CThostFtdcReqUserLoginField req{};
    copy(req.BrokerID, "9999");
    copy(req.UserID, "000001");
    copy(req.Password, "123456");
    return api_->ReqUserLogin(&req, requestId);
}

int MdClient::subscribe(const std::vector<std::string> &instruments)
{
    std::vector<std::vector<char>> buffers;
    std::vector<char *> pointers;
    for (const auto &id : instruments) {
        buffers.emplace_back(id.begin(), id.end());
        buffers.back().push_back('\0');
    }
    for (auto &b : buffers) {
        pointers.push_back(b.data());
    }
    return api_->SubscribeMarketData(pointers.data(), int(pointers.size()));
}

AdminClient::AdminClient(const std::string &baseUrl)
    : client(std::make_unique<httplib::Client>(baseUrl))
{
    client->set_read_timeout(10, 0);
}

AdminClient::~AdminClient() = default;

nlohmann::json AdminClient::get(const std::string &path)
{
    auto res = client->Get(path.c_str());
    status = res ? res->status : 0;
    if (!res || res->status != 200) {
        return nullptr;
    }
    return nlohmann::json::parse(res->body, nullptr, false);
}

nlohmann::json AdminClient::post(const std::string &path, const nlohmann::json &body)
{
    auto res = client->Post(path.c_str(), body.is_null() ? std::string() : body.dump(),
                            "application/json");
    status = res ? res->status : 0;
    if (!res || res->status != 200) {
        return nullptr;
    }
    return nlohmann::json::parse(res->body, nullptr, false);
}

RawTradeLink::~RawTradeLink()
{
    if (fd >= 0) {
        ::close(fd);
    }
}

bool RawTradeLink::open(const std::string &address, int privateResume, int privateSequence,
                        const std::string &tradingDay)
{
    const auto colon = address.rfind(':');
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(std::uint16_t(std::stoi(address.substr(colon + 1))));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        return false;
    }
    // The front greets every connection first; the tests count what follows.
    if (!readUntil([](const std::vector<velmora::wire::Frame> &f) { return !f.empty(); }) ||
        received.front().type != velmora::wire::MsgType::Welcome) {
        return false;
    }
    received.clear();
    velmora::wire::TopicSubscription topic{};
    topic.PrivateResumeType = privateResume;
    topic.PublicResumeType = THOST_TERT_QUICK;
    topic.PrivateSequence = privateSequence;
    copy(topic.TradingDay, tradingDay);
    return send(velmora::wire::MsgType::SubscribeTopic, 0, topic);
}

bool RawTradeLink::send(velmora::wire::MsgType type, int requestId, const void *record,
                        std::size_t size)
{
    const auto bytes =
        velmora::wire::FrameCodec::encode(type, requestId, true, nullptr, record, size);
    return !bytes.empty() && sendAll(fd, bytes);
}

bool RawTradeLink::readUntil(
    const std::function<bool(const std::vector<velmora::wire::Frame> &)> &done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done(received)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, int(left)) <= 0) {
            return false;
        }
        unsigned char buffer[8192];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return false;
        }
        reader.append(buffer, std::size_t(n));
        velmora::wire::Frame frame;
        velmora::wire::DecodeError error = velmora::wire::DecodeError::None;
        velmora::wire::FrameReader::Status status;
        while ((status = reader.next(frame, error)) == velmora::wire::FrameReader::Status::Ready) {
            received.push_back(frame);
        }
        if (status == velmora::wire::FrameReader::Status::Error) {
            return false;
        }
    }
    return true;
}

bool RawTradeLink::sync(int timeoutMs)
{
    const std::size_t from = received.size();
    if (!send(velmora::wire::MsgType::Heartbeat, 0, nullptr, 0)) {
        return false;
    }
    return readUntil(
        [from](const std::vector<velmora::wire::Frame> &f) {
            return std::any_of(f.begin() + from, f.end(), [](const velmora::wire::Frame &x) {
                return x.type == velmora::wire::MsgType::Heartbeat;
            });
        },
        timeoutMs);
}

int RawTradeLink::answerTo(velmora::wire::MsgType request, int requestId, const void *record,
                           std::size_t size, velmora::wire::MsgType answer)
{
    const std::size_t from = received.size();
    auto found = [&](const std::vector<velmora::wire::Frame> &f) {
        return std::find_if(f.begin() + std::ptrdiff_t(from), f.end(),
                            [&](const velmora::wire::Frame &x) { return x.type == answer; });
    };
    if (!send(request, requestId, record, size) ||
        !readUntil([&](const auto &f) { return found(f) != f.end(); })) {
        return -1;
    }
    return found(received)->rspInfo.ErrorID;
}

int RawTradeLink::login(const std::string &investor, const std::string &password)
{
    CThostFtdcReqUserLoginField login{};
    copy(login.BrokerID, "9999");
    copy(login.UserID, investor);
    copy(login.Password, password);
    return answerTo(velmora::wire::MsgType::ReqUserLogin, 1, &login, sizeof login,
                    velmora::wire::MsgType::RspUserLogin);
}

int RawTradeLink::authenticate(const std::string &investor, const std::string &appId,
                               const std::string &authCode, const std::string &broker)
{
    CThostFtdcReqAuthenticateField auth{};
    copy(auth.BrokerID, broker);
    copy(auth.UserID, investor);
    copy(auth.UserProductInfo, "velmora");
    copy(auth.AppID, appId);
    copy(auth.AuthCode, authCode);
    return answerTo(velmora::wire::MsgType::ReqAuthenticate, 3, &auth, sizeof auth,
                    velmora::wire::MsgType::RspAuthenticate);
}

bool RawTradeLink::ready(const std::string &investor)
{
    CThostFtdcSettlementInfoConfirmField confirm{};
    copy(confirm.BrokerID, "9999");
    copy(confirm.InvestorID, investor);
    return login(investor) == 0 &&
           answerTo(velmora::wire::MsgType::ReqSettlementInfoConfirm, 2, &confirm, sizeof confirm,
                    velmora::wire::MsgType::RspSettlementInfoConfirm) == 0;
}

bool RawTradeLink::order(const std::string &instrument, char direction, int volume, double price,
                         int orderRef, int requestId, char volumeCondition)
{
    const CThostFtdcInputOrderField in =
        limitOrder("000001", instrument, direction, THOST_FTDC_OF_Open, volume, price, orderRef,
                   volumeCondition);
    return send(velmora::wire::MsgType::ReqOrderInsert, requestId, in);
}

std::vector<velmora::wire::Frame> RawTradeLink::stream() const
{
    std::vector<velmora::wire::Frame> out;
    for (const auto &f : received) {
        if (f.type == velmora::wire::MsgType::RtnOrder ||
            f.type == velmora::wire::MsgType::RtnTrade) {
            out.push_back(f);
        }
    }
    return out;
}
