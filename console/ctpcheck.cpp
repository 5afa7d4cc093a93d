#include "ctpcheck.h"

#include "gbktext.h"
#include "mdcheckspi.h"
#include "tradecheckspi.h"

#include <ThostFtdcMdApi.h>
#include <ThostFtdcTraderApi.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kStepTimeout = std::chrono::seconds(10);
constexpr auto kQueryInterval = std::chrono::milliseconds(1100);
constexpr auto kRetryPause = std::chrono::milliseconds(200);
constexpr auto kTickWindow = std::chrono::seconds(5);

// The APIs retry a refused or unanswered connect in silence, so silence is all a check sees.
const char kNoConnection[] = "没有连上前置（地址、端口或网络不通，或前置不在服务时段）";

std::string requestRefused(int code)
{
    const char *meaning = code == -1   ? "网络连接失败"
                          : code == -2 ? "未处理请求超过许可数"
                          : code == -3 ? "每秒发送请求数超过许可数"
                                       : "未知";
    return "请求未发出，返回码 " + std::to_string(code) + "（" + meaning + "）";
}

// The APIs take the address as a writable C string.
std::vector<char> cString(const std::string &text)
{
    std::vector<char> bytes(text.begin(), text.end());
    bytes.push_back('\0');
    return bytes;
}

// A folder of our own under the system's temporary folder: the flow files of one check are of
// no use to the next, and two checks at once must not share them.
std::string makeFlowFolder()
{
    std::string pattern =
        (std::filesystem::temp_directory_path() / "velmora-ctpcheck.XXXXXX").string();
    std::vector<char> name = cString(pattern);
    if (!mkdtemp(name.data())) {
        return {};
    }
    const std::string folder = name.data();
    std::error_code td;
    std::error_code md;
    std::filesystem::create_directory(folder + "/td", td);
    std::filesystem::create_directory(folder + "/md", md);
    if (td || md) {
        std::filesystem::remove_all(folder, td);
        return {};
    }
    return folder;
}

} // namespace

CtpCheck::CtpCheck(CheckOptions options, std::string password, std::ostream &out)
    : options_(std::move(options)), password_(std::move(password)), out_(out), runner_(out),
      tradeSpi_(std::make_unique<TradeCheckSpi>(tradePending_, options_.instrument)),
      mdSpi_(std::make_unique<MdCheckSpi>(mdPending_, options_.instrument))
{
}

CtpCheck::~CtpCheck()
{
    release();
    std::fill(password_.begin(), password_.end(), '\0');
}

void CtpCheck::release()
{
    // Release waits for a callback still running, so the callback objects outlive it.
    if (md_) {
        md_->RegisterSpi(nullptr);
        md_->Release();
        md_ = nullptr;
    }
    if (trader_) {
        trader_->RegisterSpi(nullptr);
        trader_->Release();
        trader_ = nullptr;
    }
    if (!flowFolder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(flowFolder_, ec);
        flowFolder_.clear();
    }
}

int CtpCheck::run()
{
    out_ << "velmora-ctpcheck：交易前置 " << options_.front << "，经纪商 " << options_.broker
         << "，投资者 " << options_.investor << "，CTP API " << CThostFtdcTraderApi::GetApiVersion()
         << std::endl;

    runner_.run(1, "连接交易前置", [this] { return connectTrader(); });
    if (options_.authenticates()) {
        runner_.run(2, "终端认证", [this] { return authenticate(); });
    } else {
        runner_.skip(2, "终端认证", "未给出 --app-id 和 --auth-code");
    }
    runner_.run(3, "登录", [this] { return login(); });
    paceQuery();
    runner_.run(4, "查询结算单", [this] { return querySettlement(); });
    paceQuery();
    runner_.run(5, "查询资金", [this] { return queryAccount(); });
    paceQuery();
    runner_.run(6, "查询持仓", [this] { return queryPositions(); });
    paceQuery();
    runner_.run(7, "查询合约", [this] { return queryInstrument(); });
    if (options_.takesMarketData()) {
        runner_.run(8, "连接行情前置", [this] { return connectMd(); });
        runner_.run(9, "行情登录", [this] { return loginMd(); });
        runner_.run(10, "订阅行情", [this] { return subscribe(); });
        runner_.run(11, "接收行情", [this] { return takeTicks(); });
    } else {
        for (const auto &[number, name] : {std::pair{8, "连接行情前置"}, std::pair{9, "行情登录"},
                                           std::pair{10, "订阅行情"}, std::pair{11, "接收行情"}}) {
            runner_.skip(number, name, "未给出 --md");
        }
    }
    release();
    if (runner_.failed()) {
        out_ << "检查未通过：第 " << runner_.exitCode() << " 步失败" << std::endl;
    } else {
        out_ << "检查通过" << std::endl;
    }
    return runner_.exitCode();
}

void CtpCheck::paceQuery()
{
    if (lastQuery_ && !runner_.failed()) {
        std::this_thread::sleep_until(*lastQuery_ + kQueryInterval);
    }
}

CtpCheck::Result CtpCheck::await(Pending &pending, Clock::time_point deadline, const char *silence)
{
    const std::optional<Pending::Answer> answer = pending.wait(deadline);
    if (!answer) {
        return {false, "超时：" + std::to_string(kStepTimeout.count()) + " 秒内" + silence};
    }
    return {answer->ok, answer->text};
}

template <typename Send> CtpCheck::Result CtpCheck::request(Pending &pending, Send send)
{
    // A drop between steps says more than the -1 a request would then return.
    if (const std::optional<std::string> dropped = pending.brokenOff()) {
        return {false, *dropped};
    }
    const Clock::time_point deadline = Clock::now() + kStepTimeout;
    for (;;) {
        const int id = ++lastRequestId_;
        pending.expect(id);
        const int code = send(id);
        if (code == 0) {
            break;
        }
        if ((code != -2 && code != -3) || Clock::now() + kRetryPause >= deadline) {
            return {false, requestRefused(code)};
        }
        std::this_thread::sleep_for(kRetryPause);
    }
    return await(pending, deadline);
}

CtpCheck::Result CtpCheck::connectTrader()
{
    flowFolder_ = makeFlowFolder();
    if (flowFolder_.empty()) {
        return {false, "无法在临时目录下建立流文件目录"};
    }
    trader_ = CThostFtdcTraderApi::CreateFtdcTraderApi((flowFolder_ + "/td/").c_str());
    trader_->RegisterSpi(tradeSpi_.get());
    std::vector<char> front = cString(options_.front);
    trader_->RegisterFront(front.data());
    // The check wants no order or trade reports of earlier days, only the answers it asks for.
    trader_->SubscribePrivateTopic(THOST_TERT_QUICK);
    trader_->SubscribePublicTopic(THOST_TERT_QUICK);
    tradePending_.expect(Pending::kConnected);
    trader_->Init();
    return await(tradePending_, Clock::now() + kStepTimeout, kNoConnection);
}

CtpCheck::Result CtpCheck::authenticate()
{
    CThostFtdcReqAuthenticateField req{};
    setField(req.BrokerID, options_.broker);
    setField(req.UserID, options_.investor);
    setField(req.AppID, options_.appId);
    setField(req.AuthCode, options_.authCode);
    return request(tradePending_, [&](int id) { return trader_->ReqAuthenticate(&req, id); });
}

CtpCheck::Result CtpCheck::login()
{
    CThostFtdcReqUserLoginField req{};
    setField(req.BrokerID, options_.broker);
    setField(req.UserID, options_.investor);
    setField(req.Password, password_);
    Result result = request(tradePending_, [&](int id) { return trader_->ReqUserLogin(&req, id); });
    std::fill(std::begin(req.Password), std::end(req.Password), '\0');
    return result;
}

CtpCheck::Result CtpCheck::querySettlement()
{
    CThostFtdcQrySettlementInfoField req{};
    setField(req.BrokerID, options_.broker);
    setField(req.InvestorID, options_.investor);
    return request(tradePending_, [&](int id) {
        const int code = trader_->ReqQrySettlementInfo(&req, id);
        lastQuery_ = Clock::now();
        return code;
    });
}

CtpCheck::Result CtpCheck::queryAccount()
{
    CThostFtdcQryTradingAccountField req{};
    setField(req.BrokerID, options_.broker);
    setField(req.InvestorID, options_.investor);
    return request(tradePending_, [&](int id) {
        const int code = trader_->ReqQryTradingAccount(&req, id);
        lastQuery_ = Clock::now();
        return code;
    });
}

CtpCheck::Result CtpCheck::queryPositions()
{
    CThostFtdcQryInvestorPositionField req{};
    setField(req.BrokerID, options_.broker);
    setField(req.InvestorID, options_.investor);
    return request(tradePending_, [&](int id) {
        const int code = trader_->ReqQryInvestorPosition(&req, id);
        lastQuery_ = Clock::now();
        return code;
    });
}

CtpCheck::Result CtpCheck::queryInstrument()
{
    CThostFtdcQryInstrumentField req{};
    setField(req.InstrumentID, options_.instrument);
    return request(tradePending_, [&](int id) {
        const int code = trader_->ReqQryInstrument(&req, id);
        lastQuery_ = Clock::now();
        return code;
    });
}

CtpCheck::Result CtpCheck::connectMd()
{
    md_ = CThostFtdcMdApi::CreateFtdcMdApi((flowFolder_ + "/md/").c_str());
    md_->RegisterSpi(mdSpi_.get());
    std::vector<char> front = cString(options_.mdFront);
    md_->RegisterFront(front.data());
    mdPending_.expect(Pending::kConnected);
    md_->Init();
    return await(mdPending_, Clock::now() + kStepTimeout, kNoConnection);
}

CtpCheck::Result CtpCheck::loginMd()
{
    // Market-data fronts take any login; the trading password is not theirs to see.
    CThostFtdcReqUserLoginField req{};
    setField(req.BrokerID, options_.broker);
    setField(req.UserID, options_.investor);
    return request(mdPending_, [&](int id) { return md_->ReqUserLogin(&req, id); });
}

CtpCheck::Result CtpCheck::subscribe()
{
    std::vector<char> instrument = cString(options_.instrument);
    char *ids[] = {instrument.data()};
    mdPending_.expect(Pending::kSubscribed);
    const int code = md_->SubscribeMarketData(ids, 1);
    if (code != 0) {
        return {false, requestRefused(code)};
    }
    return await(mdPending_, Clock::now() + kStepTimeout);
}

CtpCheck::Result CtpCheck::takeTicks()
{
    const int before = mdSpi_->ticks();
    std::this_thread::sleep_for(kTickWindow);
    const int ticks = mdSpi_->ticks() - before;
    if (const std::optional<std::string> dropped = mdPending_.brokenOff()) {
        return {false, *dropped + "（断开前收到 " + std::to_string(ticks) + " 笔行情）"};
    }
    const std::string window = std::to_string(kTickWindow.count()) + " 秒内";
    if (ticks == 0) {
        return {false, window + "没有收到 " + options_.instrument +
                           " 的行情（交易时段外属正常；合约代码有误时前置也不报错）"};
    }
    return {true, window + "收到 " + std::to_string(ticks) + " 笔行情"};
}
