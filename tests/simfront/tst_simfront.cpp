// The simulated front as a process, driven through the client library over loopback, with the
// admin interface for steering and checking.

#include "framecodec.h"
#include "frontclient.h"
#include "simprocess.h"

#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>
#include <cfloat>
#include <cstring>
#include <netinet/in.h>
#include <random>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using nlohmann::json;

namespace {

// A front process with fresh books, its quotes paused at known prices unless `moving`.
struct Front
{
    QTemporaryDir dir;
    SimProcess process;
    std::unique_ptr<AdminClient> admin;
    QString data;

    bool start(const QStringList &extra = {}, bool moving = false)
    {
        if (data.isEmpty()) {
            data = dir.filePath("books");
        }
        QStringList args{"--td",      "127.0.0.1:0", "--md",   "127.0.0.1:0",
                         "--admin",   "127.0.0.1:0", "--data", data,
                         "--tick-ms", "50",          "--seed", "5"};
        args += extra;
        if (!process.start(VELMORA_SIMFRONT_EXE, args, {"td", "md", "admin"})) {
            qWarning() << process.errorString();
            return false;
        }
        admin = std::make_unique<AdminClient>(process.address("admin").toStdString());
        if (!moving && admin->post("/quotes/pause").is_null()) {
            return false;
        }
        return true;
    }
    std::string td() const { return process.address("td").toStdString(); }
    std::string md() const { return process.address("md").toStdString(); }
    std::string flow(const char *name) const
    {
        QDir(dir.path()).mkpath(name);
        return dir.filePath(name).toStdString() + "/";
    }
    bool quote(const std::string &instrument, double bid, double ask)
    {
        return !admin
                    ->post("/quote",
                           {{"instrument", instrument}, {"bid", bid}, {"ask", ask}, {"last", bid}})
                    .is_null();
    }
};

int countRtnStatus(const TraderState &s, const std::string &ref, char status)
{
    int n = 0;
    for (const auto &o : s.orders) {
        n += (std::string(o.OrderRef).find(ref) != std::string::npos && o.OrderStatus == status)
                 ? 1
                 : 0;
    }
    return n;
}

// A plain TCP connection to the front, for what no well-behaved client sends.
int rawConnect(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int portOf(const std::string &address)
{
    return QString::fromStdString(address).section(':', -1).toInt();
}

} // namespace

class TestSimFront : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The client library allows one query a second by default; these tests query often.
        qputenv("VELMORA_CTPAPI_QUERIES_PER_SECOND", "100");
    }

    void helpAndBadCommandLines()
    {
        QProcess help;
        help.start(VELMORA_SIMFRONT_EXE, {"--help"});
        QVERIFY(help.waitForFinished(10000));
        QCOMPARE(help.exitCode(), 0);
        const QByteArray text = help.readAllStandardOutput();
        for (const char *option : {"--td", "--md", "--admin", "--data", "--config", "--seed",
                                   "--tick-ms", "--replay", "--print-config", "--help"}) {
            QVERIFY2(text.contains(option), option);
        }

        QProcess bad;
        bad.start(VELMORA_SIMFRONT_EXE, {"--tick-ms", "zero"});
        QVERIFY(bad.waitForFinished(10000));
        QCOMPARE(bad.exitCode(), 2);
        QVERIFY(bad.readAllStandardError().contains("--tick-ms"));

        QTemporaryDir dir;
        QFile broken(dir.filePath("broken.json"));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("{\"investors\": [");
        broken.close();
        QProcess config;
        config.start(VELMORA_SIMFRONT_EXE,
                     {"--config", broken.fileName(), "--data", dir.filePath("d"), "--td",
                      "127.0.0.1:0", "--md", "127.0.0.1:0", "--admin", "127.0.0.1:0"});
        QVERIFY(config.waitForFinished(10000));
        QCOMPARE(config.exitCode(), 2);
        QVERIFY(config.readAllStandardError().contains("broken.json"));
    }

    void loginGoodAndBad()
    {
        Front f;
        QVERIFY(f.start());
        TraderClient c(f.flow("td"), f.td());
        QVERIFY(c.waitFor([](const TraderState &s) { return s.connected == 1; }));

        QCOMPARE(c.login("000001", "wrong", 11), 0);
        QVERIFY(c.waitFor([](const TraderState &s) { return s.answersOf("UserLogin") == 1; }));
        TraderState s = c.state();
        QCOMPARE(s.answers.back().errorId, 3);
        QCOMPARE(s.answers.back().errorMsg, std::string("CTP:不合法的登录"));
        QVERIFY(s.logins.empty());

        QCOMPARE(c.login("777777", "123456", 11), 0);
        QVERIFY(c.waitFor([](const TraderState &s) { return s.answersOf("UserLogin") == 2; }));
        QCOMPARE(c.state().answers.back().errorId, 11);
        QCOMPARE(c.state().answers.back().errorMsg, std::string("CTP:找不到该用户"));

        QCOMPARE(c.login("000001", "123456", 11), 0);
        QVERIFY(c.waitFor([](const TraderState &s) { return s.answersOf("UserLogin") == 3; }));
        s = c.state();
        QCOMPARE(s.answers.back().errorId, 0);
        QCOMPARE(s.answers.back().requestId, 11);
        QCOMPARE(int(s.logins.size()), 1);
        const CThostFtdcRspUserLoginField &login = s.logins[0];
        QCOMPARE(login.FrontID, 1);
        QVERIFY(login.SessionID > 0);
        // Right-aligned in twelve columns, as the vendor's front writes it.
        QCOMPARE(std::string(login.MaxOrderRef), std::string("           0"));
        const json status = f.admin->get("/status");
        QCOMPARE(std::string(login.TradingDay), status["tradingDay"].get<std::string>());
        QCOMPARE(std::string(c.api()->GetTradingDay()), std::string(login.TradingDay));

        // A second connection gets a session of its own.
        TraderClient other(f.flow("td2"), f.td());
        QVERIFY(other.ready("000002"));
        QVERIFY(other.state().logins[0].SessionID != login.SessionID);
    }

    void terminalAuthentication()
    {
        // The built-in configuration, which lists the demo terminal, with authentication required.
        Front f;
        QVERIFY(f.start({"--require-auth"}));

        const std::string app = "velmora_demo_1.0";
        const std::string code = "0000000000000000";
        RawTradeLink link;
        QVERIFY(link.open(f.td(), THOST_TERT_QUICK));
        QCOMPARE(link.login("000001"), 64);
        QCOMPARE(link.authenticate("000001", app, "1111111111111111"), 63);
        QCOMPARE(link.authenticate("000001", app, code, "8888"), 63);
        QCOMPARE(link.login("000001"), 64);
        QCOMPARE(link.authenticate("000001", app, code), 0);
        const auto &frames = link.frames();
        const auto rsp = std::find_if(frames.rbegin(), frames.rend(), [](const auto &x) {
            return x.type == velmora::wire::MsgType::RspAuthenticate;
        });
        CThostFtdcRspAuthenticateField answer{};
        QVERIFY(rsp->recordAs(answer));
        QCOMPARE(std::string(answer.AppID), app);
        QCOMPARE(std::string(answer.UserID), std::string("000001"));
        QCOMPARE(answer.AppType, THOST_FTDC_APP_TYPE_Investor);
        // The authentication speaks for its user only.
        QCOMPARE(link.login("000002"), 64);
        QCOMPARE(link.login("000001"), 0);
        QCOMPARE(int(f.admin->get("/requests?type=ReqAuthenticate").size()), 3);

        // Without the requirement, a login needs no authentication, and one is still answered.
        Front plain;
        QVERIFY(plain.start());
        RawTradeLink other;
        QVERIFY(other.open(plain.td(), THOST_TERT_QUICK));
        QCOMPARE(other.authenticate("000001", app, "1111111111111111"), 63);
        QCOMPARE(other.login("000001"), 0);
    }

    void loginLockout()
    {
        Front f;
        QVERIFY(f.start());
        RawTradeLink link;
        QVERIFY(link.open(f.td(), THOST_TERT_QUICK));
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(link.login("000001", "wrong"), 3);
        }
        QCOMPARE(link.login("000001"), 75);
        const auto last = std::find_if(link.frames().rbegin(), link.frames().rend(),
                                       [](const auto &x) { return x.hasRspInfo; });
        QCOMPARE(fromGb2312(last->rspInfo.ErrorMsg),
                 std::string("CTP:连续登录失败次数超限，登录被禁止"));
        const json accounts = f.admin->get("/accounts");
        QCOMPARE(accounts[0]["loginFailures"].get<int>(), 5);
        QVERIFY(accounts[0]["locked"].get<bool>());
        QVERIFY(!accounts[1]["locked"].get<bool>());

        // A restart of the front keeps the lock; the admin's unlock lifts it.
        QVERIFY(f.process.stop());
        QVERIFY(f.start());
        RawTradeLink again;
        QVERIFY(again.open(f.td(), THOST_TERT_QUICK));
        QCOMPARE(again.login("000001"), 75);
        QVERIFY(f.admin->post("/unlock", {{"investor", "000009"}}).is_null());
        QCOMPARE(f.admin->lastStatus(), 400);
        QVERIFY(!f.admin->post("/unlock", {{"investor", "000001"}}).is_null());
        QCOMPARE(again.login("000001"), 0);

        // The next trading day lifts it too.
        RawTradeLink third;
        QVERIFY(third.open(f.td(), THOST_TERT_QUICK));
        for (int i = 0; i < 6; ++i) {
            third.login("000002", "wrong");
        }
        QCOMPARE(third.login("000002"), 75);
        QVERIFY(!f.admin->post("/roll").is_null());
        QCOMPARE(third.login("000002"), 0);
    }

    void statementInPiecesAndConfirmation()
    {
        Front f;
        QVERIFY(f.start());
        TraderClient c(f.flow("td"), f.td());
        QVERIFY(c.waitFor([](const TraderState &s) { return s.connected == 1; }));
        QCOMPARE(c.login("000001", "123456", 11), 0);
        QVERIFY(c.waitFor([](const TraderState &s) { return s.logins.size() == 1; }));

        // Orders wait for the confirmation.
        QCOMPARE(c.order("rb2705", '0', '0', 1, 3600, 1), 0);
        QVERIFY(c.waitFor([](const TraderState &s) { return !s.insertErrors.empty(); }));
        QCOMPARE(c.state().insertErrors[0].errorId, 42);
        QCOMPARE(c.state().insertErrors[0].errorMsg, std::string("CTP:结算结果未确认"));

        CThostFtdcQrySettlementInfoField q{};
        std::strcpy(q.BrokerID, "9999");
        std::strcpy(q.InvestorID, "000001");
        QVERIFY(c.query(
            "QrySettlementInfo", [&](int id) { return c.api()->ReqQrySettlementInfo(&q, id); },
            101));
        TraderState s = c.state();
        QVERIFY2(s.settlement.size() >= 3, "the statement comes in several pieces");
        // Pieces are cut by bytes, so a character may straddle two of them: the client joins
        // the bytes before decoding.
        std::string bytes;
        int splits = 0;
        for (std::size_t i = 0; i < s.settlement.size(); ++i) {
            const auto &piece = s.settlement[i];
            const std::size_t n = strnlen(piece.Content, sizeof piece.Content);
            QCOMPARE(piece.SequenceNo, int(i) + 1);
            QVERIFY(i + 1 == s.settlement.size() ? n <= 500 : n == 500);
            splits += fromGb2312(piece.Content).find("\xEF\xBF\xBD") != std::string::npos;
            bytes.append(piece.Content, n);
        }
        QVERIFY2(splits > 0, "the default statement splits a character between two pieces");
        const std::string text = fromGb2312(bytes.c_str());
        QVERIFY(text.find("\xEF\xBF\xBD") == std::string::npos);
        int lastFlags = 0;
        for (const Answer &a : s.answers) {
            if (a.kind == "QrySettlementInfo") {
                QCOMPARE(a.requestId, 101);
                lastFlags += a.isLast ? 1 : 0;
            }
        }
        QCOMPARE(lastFlags, 1);
        QVERIFY(s.answers.back().isLast);
        for (const char *section : {"重要提示", "资金状况", "出入金明细", "成交记录", "持仓明细",
                                    "持仓汇总", "免责声明"}) {
            QVERIFY2(text.find(section) != std::string::npos, section);
        }
        QVERIFY(text.find("000001") != std::string::npos);
        QVERIFY(text.find("10000000.00") != std::string::npos);

        // A day without a statement: one empty answer.
        std::strcpy(q.TradingDay, "20000103");
        const int before = int(c.state().settlement.size());
        QVERIFY(c.query(
            "QrySettlementInfo", [&](int id) { return c.api()->ReqQrySettlementInfo(&q, id); },
            102));
        QCOMPARE(int(c.state().settlement.size()), before);
        QVERIFY(!c.state().answers.back().hasRecord);

        CThostFtdcSettlementInfoConfirmField confirm{};
        std::strcpy(confirm.BrokerID, "9999");
        std::strcpy(confirm.InvestorID, "000001");
        QCOMPARE(c.api()->ReqSettlementInfoConfirm(&confirm, 11), 0);
        QVERIFY(c.waitFor(
            [](const TraderState &s) { return s.answersOf("SettlementInfoConfirm") == 1; }));
        QCOMPARE(c.state().lastAnswer("SettlementInfoConfirm")->errorId, 0);
        QVERIFY(c.state().lastAnswer("SettlementInfoConfirm")->hasRecord);
        const json accounts = f.admin->get("/accounts");
        QCOMPARE(accounts[0]["investorId"].get<std::string>(), std::string("000001"));
        QVERIFY(accounts[0]["confirmed"].get<bool>());
        QVERIFY(!accounts[1]["confirmed"].get<bool>());
    }

    void queries()
    {
        Front f;
        QVERIFY(f.start());
        TraderClient c(f.flow("td"), f.td());
        QVERIFY(c.ready());

        CThostFtdcQryInstrumentField qi{};
        QVERIFY(c.query(
            "QryInstrument", [&](int id) { return c.api()->ReqQryInstrument(&qi, id); }, 201));
        TraderState s = c.state();
        QCOMPARE(int(s.instruments.size()), 5);
        std::set<std::string> exchanges;
        for (const auto &i : s.instruments) {
            exchanges.insert(i.ExchangeID);
        }
        QVERIFY(exchanges.count("SHFE") && exchanges.count("DCE") && exchanges.count("CZCE") &&
                exchanges.count("CFFEX"));

        c.clear();
        std::strcpy(qi.InstrumentID, "rb2705");
        QVERIFY(c.query(
            "QryInstrument", [&](int id) { return c.api()->ReqQryInstrument(&qi, id); }, 202));
        s = c.state();
        QCOMPARE(int(s.instruments.size()), 1);
        const CThostFtdcInstrumentField &rb = s.instruments[0];
        QCOMPARE(fromGb2312(rb.InstrumentName), std::string("螺纹钢2705"));
        QCOMPARE(std::string(rb.ExchangeID), std::string("SHFE"));
        QCOMPARE(rb.VolumeMultiple, 10);
        QCOMPARE(rb.PriceTick, 1.0);
        QCOMPARE(rb.InstLifePhase, THOST_FTDC_IP_Started);
        QCOMPARE(rb.IsTrading, 1);
        QCOMPARE(rb.PositionType, THOST_FTDC_PT_Gross);
        QCOMPARE(std::string(rb.UnderlyingInstrID), std::string("rb"));
        QCOMPARE(rb.UnderlyingMultiple, 1.0);
        QCOMPARE(std::string(rb.ExpireDate), std::string("20270517"));

        c.clear();
        std::strcpy(qi.InstrumentID, "zz0000");
        QVERIFY(c.query(
            "QryInstrument", [&](int id) { return c.api()->ReqQryInstrument(&qi, id); }, 203));
        QVERIFY(c.state().instruments.empty());
        QVERIFY(!c.state().answers.back().hasRecord && c.state().answers.back().isLast);

        CThostFtdcQryInvestorPositionField qp{};
        std::strcpy(qp.BrokerID, "9999");
        std::strcpy(qp.InvestorID, "000001");
        QVERIFY(c.query(
            "QryInvestorPosition", [&](int id) { return c.api()->ReqQryInvestorPosition(&qp, id); },
            204));
        QVERIFY(c.state().positions.empty()); // one null record

        CThostFtdcQryTradingAccountField qa{};
        std::strcpy(qa.BrokerID, "9999");
        std::strcpy(qa.InvestorID, "000001");
        QVERIFY(c.query(
            "QryTradingAccount", [&](int id) { return c.api()->ReqQryTradingAccount(&qa, id); },
            205));
        s = c.state();
        QCOMPARE(int(s.accounts.size()), 1);
        QCOMPARE(s.accounts[0].Balance, 10000000.0);
        QCOMPARE(s.accounts[0].Available, 10000000.0);
        QCOMPARE(s.accounts[0].CurrMargin, 0.0);
        QCOMPARE(std::string(s.accounts[0].AccountID), std::string("000001"));
    }

    void ordersFillCancelAndRefusals()
    {
        Front f;
        QVERIFY(f.start());
        QVERIFY(f.quote("rb2705", 3500, 3501));
        QVERIFY(f.quote("m2705", 3000, 3001));
        TraderClient c(f.flow("td"), f.td());
        QVERIFY(c.ready());
        const int session = c.state().logins[0].SessionID;

        // Marketable: filled at the ask.
        QCOMPARE(c.order("rb2705", '0', '0', 2, 3700, 1), 0);
        QVERIFY(c.waitFor([](const TraderState &s) {
            return s.trades.size() == 1 && countRtnStatus(s, "1", '0') == 1;
        }));
        TraderState s = c.state();
        // The broker's report, the exchange's acceptance, then the fill and the final state.
        QCOMPARE(int(s.orders.size()), 3);
        QCOMPARE(s.orders[0].OrderStatus, THOST_FTDC_OST_Unknown);
        QCOMPARE(s.orders[0].OrderSubmitStatus, THOST_FTDC_OSS_InsertSubmitted);
        QCOMPARE(std::string(s.orders[0].OrderSysID), std::string());
        QCOMPARE(fromGb2312(s.orders[0].StatusMsg), std::string("报单已提交"));
        QCOMPARE(s.orders[1].OrderStatus, THOST_FTDC_OST_NoTradeQueueing);
        QCOMPARE(s.orders[1].OrderSubmitStatus, THOST_FTDC_OSS_Accepted);
        QVERIFY(std::strlen(s.orders[1].OrderSysID) > 0);
        QCOMPARE(s.orders[2].OrderStatus, THOST_FTDC_OST_AllTraded);
        QCOMPARE(fromGb2312(s.orders[2].StatusMsg), std::string("全部成交"));
        QCOMPARE(s.orders[2].FrontID, 1);
        QCOMPARE(s.orders[2].SessionID, session);
        QCOMPARE(std::string(s.orders[2].OrderRef), std::string("           1"));
        const CThostFtdcTradeField &t = s.trades[0];
        QCOMPARE(std::string(t.OrderRef), std::string("           1"));
        QCOMPARE(t.Price, 3501.0);
        QCOMPARE(t.Volume, 2);
        QCOMPARE(t.Direction, THOST_FTDC_D_Buy);
        QCOMPARE(t.OffsetFlag, THOST_FTDC_OF_Open);
        QVERIFY(std::strlen(t.TradeID) > 0);
        QCOMPARE(std::string(t.TradeDate), std::string(c.state().logins[0].TradingDay));
        QCOMPARE(std::strlen(t.TradeTime), std::size_t(8));

        // Not marketable: cancelled, with a reason for people.
        QCOMPARE(c.order("rb2705", '1', '0', 1, 3501, 2), 0);
        QVERIFY(c.waitFor([](const TraderState &s) { return countRtnStatus(s, "2", '5') == 1; }));
        s = c.state();
        QCOMPARE(fromGb2312(s.orders.back().StatusMsg), std::string("已撤单"));
        QCOMPARE(s.orders.back().VolumeTraded, 0);
        QCOMPARE(int(s.trades.size()), 1);

        // Broker refusals come back as OnRspOrderInsert with the request's number.
        auto refused = [&](int expected, const char *text) {
            return c.waitFor([&](const TraderState &st) {
                return !st.insertErrors.empty() && st.insertErrors.back().errorId == expected &&
                       st.insertErrors.back().errorMsg == text;
            });
        };
        QCOMPARE(c.order("xx0000", '0', '0', 1, 100, 3, 33), 0);
        QVERIFY(refused(16, "CTP:找不到合约"));
        QCOMPARE(c.state().insertErrors.back().requestId, 33);
        QVERIFY(c.state().insertErrors.back().hasRecord);
        QCOMPARE(c.order("rb2705 ", '0', '0', 1, 3700, 9, 34), 0); // identifiers are exact
        QVERIFY(c.waitFor([](const TraderState &st) {
            return st.insertErrors.size() == 2 && st.insertErrors.back().requestId == 34;
        }));
        QCOMPARE(c.state().insertErrors.back().errorId, 16);
        QCOMPARE(c.order("rb2705", '0', '0', 1, 3700, 1), 0); // not above the session's last
        QVERIFY(refused(22, "CTP:报单错误：不允许重复报单"));
        QCOMPARE(c.order("m2705", '1', '1', 1, 2900, 4), 0);
        QVERIFY(refused(30, "CTP:平仓量超过持仓量"));
        QCOMPARE(c.order("IF2706", '0', '0', 500, 4200, 5), 0);
        QVERIFY(refused(31, "CTP:资金不足"));
        QCOMPARE(c.order("rb2705", '0', '0', 0, 3700, 6), 0);
        QVERIFY(refused(15, "CTP:报单字段有误"));
        QCOMPARE(c.order("rb2705", '0', '0', 1, 3700, 7, 21, "000002"), 0);
        QVERIFY(refused(15, "CTP:报单字段有误"));
        // Each broker refusal reaches OnErrRtnOrderInsert too.
        QVERIFY(c.waitFor([](const TraderState &st) { return st.exchangeErrors.size() == 7; }));
        s = c.state();
        for (std::size_t i = 0; i < 7; ++i) {
            QCOMPARE(s.exchangeErrors[i].errorId, s.insertErrors[i].errorId);
        }

        // The exchange refuses a price beyond the limit: the broker's report, then the cancelled
        // one with the exchange's reason, and no error notice at all.
        const int reportsBefore = int(c.state().orders.size());
        QCOMPARE(c.order("rb2705", '0', '0', 1, 9000, 8), 0);
        QVERIFY(c.waitFor([](const TraderState &st) { return countRtnStatus(st, "8", '5') == 1; }));
        // Whatever the front sent about the order arrived before the answer to a later query.
        CThostFtdcQryTradingAccountField qa{};
        QVERIFY(c.query(
            "QryTradingAccount", [&](int id) { return c.api()->ReqQryTradingAccount(&qa, id); },
            35));
        s = c.state();
        QCOMPARE(int(s.orders.size()), reportsBefore + 2);
        QCOMPARE(s.orders.end()[-2].OrderStatus, THOST_FTDC_OST_Unknown);
        QCOMPARE(s.orders.back().OrderSubmitStatus, THOST_FTDC_OSS_InsertRejected);
        QCOMPARE(fromGb2312(s.orders.back().StatusMsg),
                 std::string("已撤单报单被拒绝SHFE:价格超出涨停板"));
        QCOMPARE(int(s.exchangeErrors.size()), 7);
        QCOMPARE(int(s.insertErrors.size()), 7);
        QCOMPARE(int(s.trades.size()), 1);

        // The admin interface saw the same orders.
        const json orders = f.admin->get("/orders");
        QCOMPARE(int(orders.size()), 3);
        QCOMPARE(int(f.admin->get("/trades").size()), 1);
        QCOMPARE(int(f.admin->get("/requests?type=ReqOrderInsert").size()), 10);

        // Locked at the upper limit: nobody sells, a buy at the limit gets nothing.
        const json locked = f.admin->post("/quote", {{"instrument", "rb2705"},
                                                     {"bids", {{3745, 30}, {3744, 10}}},
                                                     {"asks", json::array()}});
        QVERIFY(!locked.is_null());
        QVERIFY(locked["ask"].is_null());
        QCOMPARE(locked["bids"], json({{3745.0, 30}, {3744.0, 10}}));
        QVERIFY(f.admin->post("/quote", {{"instrument", "rb2705"}, {"asks", {{3746, 1}}}})
                    .is_null()); // beyond the limit
        QCOMPARE(c.order("rb2705", '0', '0', 1, 3745, 10), 0);
        QVERIFY(
            c.waitFor([](const TraderState &st) { return countRtnStatus(st, "10", '5') == 1; }));
        QCOMPARE(c.state().orders.back().VolumeTraded, 0);
        QCOMPARE(int(f.admin->get("/trades").size()), 1);
    }

    void shfeCloseRulesAndARoundTrip()
    {
        Front f;
        QVERIFY(f.start());
        QVERIFY(f.quote("rb2705", 3500, 3501));
        TraderClient c(f.flow("td"), f.td());
        QVERIFY(c.ready());
        QCOMPARE(c.order("rb2705", '0', '0', 3, 3700, 1), 0);
        QVERIFY(c.waitFor([](const TraderState &s) { return s.trades.size() == 1; }));

        // A today-only position cannot be closed plainly or as yesterday's.
        QCOMPARE(c.order("rb2705", '1', '1', 1, 3300, 2), 0);
        QVERIFY(c.waitFor([](const TraderState &s) { return s.insertErrors.size() == 1; }));
        QCOMPARE(c.state().insertErrors[0].errorId, 51);
        QCOMPARE(c.order("rb2705", '1', '4', 1, 3300, 3), 0);
        QVERIFY(c.waitFor([](const TraderState &s) { return s.insertErrors.size() == 2; }));
        QCOMPARE(c.state().insertErrors[1].errorId, 51);
        QVERIFY(f.quote("rb2705", 3520, 3521));
        QCOMPARE(c.order("rb2705", '1', '3', 1, 3300, 4), 0);
        QVERIFY(c.waitFor([](const TraderState &s) { return s.trades.size() == 2; }));
        QCOMPARE(c.state().trades[1].OffsetFlag, THOST_FTDC_OF_CloseToday);
        QCOMPARE(c.state().trades[1].Price, 3520.0);

        // The next day the rest is yesterday's.
        QVERIFY(!f.admin->post("/roll").is_null());
        QVERIFY(f.quote("rb2705", 3530, 3531));
        CThostFtdcSettlementInfoConfirmField confirm{};
        std::strcpy(confirm.BrokerID, "9999");
        std::strcpy(confirm.InvestorID, "000001");
        QCOMPARE(c.api()->ReqSettlementInfoConfirm(&confirm, 12), 0);
        QVERIFY(c.waitFor(
            [](const TraderState &s) { return s.answersOf("SettlementInfoConfirm") == 2; }));
        QCOMPARE(c.order("rb2705", '1', '3', 1, 3300, 5), 0);
        QVERIFY(c.waitFor([](const TraderState &s) { return s.insertErrors.size() == 3; }));
        QCOMPARE(c.state().insertErrors[2].errorId, 50);
        QCOMPARE(c.order("rb2705", '1', '4', 1, 3300, 6), 0);
        QVERIFY(c.waitFor([](const TraderState &s) { return s.trades.size() == 3; }));
        QCOMPARE(c.state().trades[2].OffsetFlag, THOST_FTDC_OF_CloseYesterday);

        c.clear();
        CThostFtdcQryInvestorPositionField qp{};
        std::strcpy(qp.BrokerID, "9999");
        std::strcpy(qp.InvestorID, "000001");
        QVERIFY(c.query(
            "QryInvestorPosition", [&](int id) { return c.api()->ReqQryInvestorPosition(&qp, id); },
            301));
        TraderState s = c.state();
        QCOMPARE(int(s.positions.size()), 1); // yesterday's record, on SHFE of its own
        const auto &p = s.positions[0];
        QCOMPARE(p.PosiDirection, THOST_FTDC_PD_Long);
        QCOMPARE(p.PositionDate, THOST_FTDC_PSD_History);
        QCOMPARE(p.YdPosition, 2);
        QCOMPARE(p.Position, 1);
        QCOMPARE(p.TodayPosition, 0);
        QCOMPARE(p.CloseVolume, 1);
        QCOMPARE(p.PreSettlementPrice, 3520.0);
        // Carried at the settlement price 3520; marked at 3530; the close at the bid 3530.
        QCOMPARE(p.PositionCost, 35200.0);
        QCOMPARE(p.PositionProfit, 100.0);
        QCOMPARE(p.CloseProfit, 100.0);
        QCOMPARE(p.UseMargin, 3520.0);

        QVERIFY(c.query(
            "QryTradingAccount",
            [&](int id) {
                CThostFtdcQryTradingAccountField qa{};
                return c.api()->ReqQryTradingAccount(&qa, id);
            },
            302));
        const TraderState after = c.state();
        const auto &a = after.accounts[0];
        // Day one: 3 lots bought at 3501, 1 sold at 3520, settled at 3520; 3 per lot and
        // side: pre-balance 10000000 + 19*10 + 2*19*10 - 12 = 10000558.
        QCOMPARE(a.PreBalance, 10000558.0);
        QCOMPARE(a.CloseProfit, 100.0);
        QCOMPARE(a.PositionProfit, 100.0);
        QCOMPARE(a.Commission, 3.0);
        QCOMPARE(a.CurrMargin, 3520.0);
        QCOMPARE(a.Balance, 10000558.0 + 100 + 100 - 3);
        QCOMPARE(a.Available, a.Balance - a.CurrMargin);
    }

    void privateStreamReplayAndARestartKeepThePositions()
    {
        Front f;
        QVERIFY(f.start());
        QVERIFY(f.quote("m2705", 3000, 3001));
        {
            TraderClient c(f.flow("td"), f.td());
            QVERIFY(c.ready());
            QCOMPARE(c.order("m2705", '0', '0', 4, 3100, 1), 0);
            QCOMPARE(c.order("m2705", '0', '0', 1, 2000, 2), 0); // below the limit: refused
            QVERIFY(c.waitFor(
                [](const TraderState &s) { return s.trades.size() == 1 && s.orders.size() == 5; }));
        }

        // A client that restarts the private stream gets the day's reports after its login.
        TraderClient restart(f.flow("td2"), f.td(), THOST_TERT_RESTART);
        QVERIFY(restart.ready());
        QVERIFY(restart.waitFor(
            [](const TraderState &s) { return s.orders.size() == 5 && s.trades.size() == 1; }));
        TraderClient quick(f.flow("td3"), f.td(), THOST_TERT_QUICK);
        QVERIFY(quick.ready());
        // The quick client only gets what happens from now on, like everyone logged in.
        QCOMPARE(quick.order("m2705", '1', '1', 1, 2900, 1), 0);
        QVERIFY(quick.waitFor([](const TraderState &s) { return s.trades.size() == 1; }));
        QVERIFY(restart.waitFor([](const TraderState &s) { return s.trades.size() == 2; }));
        QVERIFY(quick.waitFor([](const TraderState &s) { return s.orders.size() == 3; }));

        // Killed without warning, then started on the same books.
        f.process.kill();
        QVERIFY(restart.waitFor([](const TraderState &s) { return !s.disconnects.empty(); }));
        QVERIFY(f.start());
        TraderClient after(f.flow("td4"), f.td());
        QVERIFY(after.ready());
        CThostFtdcQryInvestorPositionField qp{};
        QVERIFY(after.query(
            "QryInvestorPosition",
            [&](int id) { return after.api()->ReqQryInvestorPosition(&qp, id); }, 401));
        const TraderState s = after.state();
        QCOMPARE(int(s.positions.size()), 1);
        QCOMPARE(s.positions[0].Position, 3);
        QCOMPARE(s.positions[0].OpenVolume, 4);
        QCOMPARE(s.positions[0].CloseVolume, 1);
        // The day's reports came back too, and the next reference continues after them.
        QCOMPARE(int(s.orders.size()), 8);
        QCOMPARE(int(s.trades.size()), 2);
        QCOMPARE(std::string(s.logins[0].MaxOrderRef), std::string("           2"));
        QVERIFY(s.logins[0].SessionID > quick.state().logins[0].SessionID);
    }

    void privateStreamNumbersAndResume()
    {
        using velmora::wire::Frame;
        using velmora::wire::MsgType;
        Front f;
        QVERIFY(f.start());
        // The best ask rests as two orders; the admin interface shows the level's total.
        const json set = f.admin->post("/quote", {{"instrument", "m2705"},
                                                  {"bids", {{3000, 4}}},
                                                  {"asks", {{3001, {1, 3}}, {3002, 4}}}});
        QCOMPARE(set["asks"], json({{3001.0, 4}, {3002.0, 4}}));
        RawTradeLink a;
        QVERIFY(a.open(f.td(), THOST_TERT_RESTART));
        QVERIFY(a.ready());
        RawTradeLink quiet;
        QVERIFY(quiet.open(f.td(), THOST_TERT_NONE));
        QVERIFY(quiet.ready());
        QVERIFY(a.order("m2705", '0', 6, 3002, 1));  // three trades over two levels
        QVERIFY(a.order("m2705", '0', 1, 9999, 2));  // refused by the exchange
        QVERIFY(a.order("nosuch", '0', 1, 3000, 3)); // refused by the broker
        QVERIFY(a.readUntil([](const std::vector<Frame> &fr) {
            return std::count_if(fr.begin(), fr.end(), [](const Frame &x) {
                       return x.type == MsgType::RspOrderInsert;
                   }) == 1;
        }));
        QVERIFY(a.sync());
        const auto live = a.stream();
        const int total = int(live.size());

        // Each trade brings an order report with the volume traded so far; whether the report
        // or the trade goes first is fixed per order. The exchange's refusal is two reports.
        struct Report
        {
            char status;
            int traded;
        };
        struct Fill
        {
            const char *tradeId;
            double price;
            int volume;
        };
        const std::vector<Report> reports = {{'a', 0}, {'3', 0}, {'1', 1}, {'1', 4},
                                             {'0', 6}, {'a', 0}, {'5', 0}};
        const std::vector<Fill> fills = {
            {"           1", 3001, 1}, {"           2", 3001, 3}, {"           3", 3002, 2}};
        QCOMPARE(total, int(reports.size() + fills.size()));
        std::size_t r = 0;
        std::size_t t = 0;
        for (int i = 0; i < total; ++i) {
            QCOMPARE(live[i].requestId, i + 1);
            CThostFtdcOrderField order{};
            CThostFtdcTradeField trade{};
            if (live[i].recordAs(order)) {
                QCOMPARE(order.OrderStatus, reports[r].status);
                QCOMPARE(order.VolumeTraded, reports[r].traded);
                // A trade follows the report that counts it, or the other way round.
                QVERIFY(r < 2 || r > 4 || t == r - 2 || t == r - 1);
                ++r;
            } else {
                QVERIFY(live[i].recordAs(trade));
                QCOMPARE(std::string(trade.TradeID), std::string(fills[t].tradeId));
                QCOMPARE(std::string(trade.OrderSysID), std::string("           1"));
                QCOMPARE(trade.Price, fills[t].price);
                QCOMPARE(trade.Volume, fills[t].volume);
                ++t;
            }
            if (r == reports.size()) {
                QCOMPARE(order.OrderSubmitStatus, THOST_FTDC_OSS_InsertRejected);
                QCOMPARE(fromGb2312(order.StatusMsg),
                         std::string("已撤单报单被拒绝DCE:价格超出涨停板"));
            }
        }
        // Only the broker's refusal brings an error notice: unnumbered, to every session of the
        // investor, even one without the private stream.
        QVERIFY(quiet.sync());
        for (const RawTradeLink *link : {&a, &quiet}) {
            const auto &frames = link->frames();
            QCOMPARE(std::count_if(frames.begin(), frames.end(),
                                   [](const Frame &x) {
                                       return x.type == MsgType::ErrRtnOrderInsert &&
                                              x.requestId == 0;
                                   }),
                     1L);
        }
        QVERIFY(quiet.stream().empty());

        // Replays send the same frames with the same numbers, before and after a restart.
        const std::string day = f.admin->get("/status")["tradingDay"].get<std::string>();
        struct Case
        {
            int type;
            int sequence;
            std::string day;
            int from; // first number expected; beyond total: nothing
        };
        for (int run = 0; run < 2; ++run) {
            for (const Case &c :
                 {Case{THOST_TERT_RESTART, 0, "", 1}, Case{THOST_TERT_RESUME, 3, day, 4},
                  Case{THOST_TERT_RESUME, total, day, total + 1},
                  Case{THOST_TERT_RESUME, 3, "20000103", 1},
                  Case{THOST_TERT_QUICK, 0, "", total + 1}}) {
                RawTradeLink replay;
                QVERIFY(replay.open(f.td(), c.type, c.sequence, c.day));
                QVERIFY(replay.ready());
                QVERIFY(replay.sync());
                const auto replayed = replay.stream();
                QCOMPARE(int(replayed.size()), total + 1 - c.from);
                for (std::size_t i = 0; i < replayed.size(); ++i) {
                    const Frame &original = live[c.from - 1 + i];
                    QCOMPARE(replayed[i].requestId, original.requestId);
                    QCOMPARE(int(replayed[i].type), int(original.type));
                    QVERIFY(replayed[i].record == original.record);
                }
            }
            QVERIFY(f.process.stop());
            QVERIFY(f.start());
        }
    }

    void marketData()
    {
        Front f;
        QVERIFY(f.start({}, true));
        MdClient m(f.flow("md"), f.md());
        QVERIFY(m.waitFor([](const MdState &s) { return s.connected == 1; }));
        QCOMPARE(m.login(11), 0);
        QVERIFY(m.waitFor([](const MdState &s) { return !s.answers.empty(); }));
        QCOMPARE(m.state().answers[0].errorId, 0);
        QCOMPARE(m.subscribe({"rb2705", "nosuch1"}), 0);
        QVERIFY(m.waitFor([](const MdState &s) { return s.answersOf("SubMarketData") == 2; }));
        // An unknown instrument is acknowledged like any other and never quotes.
        // The snapshot follows at once, then ticks keep coming.
        QVERIFY(m.waitFor([](const MdState &s) { return s.ticksOf("rb2705") >= 5; }));
        MdState s = m.state();
        QCOMPARE(s.answers[1].errorId, 0);
        QCOMPARE(s.answers[2].errorId, 0);
        QVERIFY(s.answers[2].isLast);
        QCOMPARE(s.ticksOf("nosuch1"), 0);
        for (const auto &t : s.ticks) {
            QCOMPARE(t.ClosePrice, DBL_MAX);
            QCOMPARE(t.SettlementPrice, DBL_MAX);
            QVERIFY(t.LastPrice > t.LowerLimitPrice && t.LastPrice < t.UpperLimitPrice);
            QVERIFY(t.AskPrice1 > t.BidPrice1);
            // Five levels a side, away from the best price.
            QVERIFY(t.BidPrice5 < t.BidPrice4 && t.BidPrice2 < t.BidPrice1);
            QVERIFY(t.AskPrice5 > t.AskPrice4 && t.AskPrice2 > t.AskPrice1);
            QVERIFY(t.BidVolume1 > 0 && t.AskVolume1 > 0 && t.BidVolume5 > 0 && t.AskVolume5 > 0);
            QCOMPARE(std::strlen(t.ActionDay), std::size_t(8));
            QCOMPARE(t.PreSettlementPrice, 3500.0);
            QCOMPARE(std::strlen(t.UpdateTime), std::size_t(8));
            QCOMPARE(std::string(t.ExchangeID), std::string("SHFE"));
        }

        // Paused quotes stop the ticks; a set quote still goes out, after every tick sent
        // before the pause (one connection keeps the order).
        QVERIFY(!f.admin->post("/quotes/pause").is_null());
        auto lastIs = [](double bid, double ask) {
            return [bid, ask](const MdState &st) {
                return !st.ticks.empty() && st.ticks.back().BidPrice1 == bid &&
                       st.ticks.back().AskPrice1 == ask;
            };
        };
        QVERIFY(f.quote("rb2705", 3600, 3602));
        QVERIFY(m.waitFor(lastIs(3600, 3602)));
        const int paused = m.state().ticksOf("rb2705");
        QTest::qWait(300);
        QCOMPARE(m.state().ticksOf("rb2705"), paused);
        QVERIFY(f.quote("rb2705", 3610, 3612));
        QVERIFY(m.waitFor(lastIs(3610, 3612)));
        // A market locked at its limit: the empty side goes out as DBL_MAX with no volume.
        QVERIFY(!f.admin->post("/quote", {{"instrument", "rb2705"}, {"asks", json::array()}})
                     .is_null());
        QVERIFY(m.waitFor(lastIs(3610, DBL_MAX)));
        QCOMPARE(m.state().ticks.back().AskVolume1, 0);
        QCOMPARE(m.state().ticks.back().AskVolume5, 0);
    }

    void adminDropFaultsAndRequestLog()
    {
        Front f;
        QVERIFY(f.start());
        TraderClient c(f.flow("td"), f.td());
        QVERIFY(c.ready());
        MdClient m(f.flow("md"), f.md());
        QVERIFY(m.waitFor([](const MdState &s) { return s.connected == 1; }));
        // An answer shows that the front has taken the connection in, not only the kernel.
        QCOMPARE(m.login(1), 0);
        QVERIFY(m.waitFor([](const MdState &s) { return s.answersOf("UserLogin") == 1; }));

        const json dropped = f.admin->post("/drop", {{"refuseSeconds", 1}});
        QVERIFY(!dropped.is_null());
        QCOMPARE(dropped["dropped"].get<int>(), 2);
        QVERIFY(c.waitFor([](const TraderState &s) { return s.disconnects.size() == 1; }));
        QVERIFY(m.waitFor([](const MdState &s) { return s.disconnects.size() == 1; }));
        // The client library comes back by itself once the front accepts again.
        QVERIFY(c.waitFor([](const TraderState &s) { return s.connected == 2; }, 15000));
        QVERIFY(m.waitFor([](const MdState &s) { return s.connected == 2; }, 15000));
        QVERIFY(c.ready());

        // The next account query is answered with the injected error, the one after normally.
        QVERIFY(!f.admin
                     ->post("/fault", {{"request", "ReqQryTradingAccount"},
                                       {"errorId", 90},
                                       {"errorMsg", "CTP:查询未就绪，请稍后重试"}})
                     .is_null());
        CThostFtdcQryTradingAccountField qa{};
        QVERIFY(c.query(
            "QryTradingAccount", [&](int id) { return c.api()->ReqQryTradingAccount(&qa, id); },
            501));
        QCOMPARE(c.state().lastAnswer("QryTradingAccount")->errorId, 90);
        QCOMPARE(c.state().lastAnswer("QryTradingAccount")->errorMsg,
                 std::string("CTP:查询未就绪，请稍后重试"));
        QVERIFY(c.query(
            "QryTradingAccount", [&](int id) { return c.api()->ReqQryTradingAccount(&qa, id); },
            502));
        QCOMPARE(c.state().lastAnswer("QryTradingAccount")->errorId, 0);

        // Every request is listed with its arrival time.
        const json logins = f.admin->get("/requests?type=ReqUserLogin&front=td");
        QCOMPARE(int(logins.size()), 2);
        QVERIFY(logins[1]["micros"].get<long long>() > logins[0]["micros"].get<long long>());
        QCOMPARE(logins[0]["requestId"].get<int>(), 11);
        const json all = f.admin->get("/requests");
        QVERIFY(all.size() >= 6);
        QVERIFY(f.admin->post("/fault", {{"request", "ReqOrderInsert"}}).is_null());
        QCOMPARE(f.admin->lastStatus(), 400);
        QVERIFY(f.admin->post("/quote", {{"instrument", "none"}, {"last", 1}}).is_null());
        QCOMPARE(f.admin->lastStatus(), 400);
    }

    void hostileFramesWhileAGoodClientTrades()
    {
        Front f;
        QVERIFY(f.start());
        QVERIFY(f.quote("m2705", 3000, 3001));
        TraderClient c(f.flow("td"), f.td());
        QVERIFY(c.ready());
        const int port = portOf(f.td());

        std::atomic<bool> done{false};
        std::atomic<int> sent{0};
        std::thread attacker([&] {
            std::mt19937 rng(99);
            int fd = -1;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (sent < 10000 && std::chrono::steady_clock::now() < deadline) {
                if (fd < 0) {
                    fd = rawConnect(port);
                    if (fd < 0) {
                        continue;
                    }
                }
                std::vector<unsigned char> frame;
                auto u32 = [&](std::uint32_t v) {
                    for (int i = 0; i < 4; ++i) {
                        frame.push_back((v >> (8 * i)) & 0xff);
                    }
                };
                const int kind = int(rng() % 5);
                if (kind == 0) { // random bytes
                    frame.resize(1 + rng() % 64);
                    for (auto &b : frame) {
                        b = rng() & 0xff;
                    }
                } else if (kind == 1) { // an oversized length
                    u32(0x7fffffff - (rng() % 1000));
                } else if (kind == 2) { // an unknown type
                    u32(8);
                    frame.push_back(0xee);
                    frame.push_back(0x7f);
                    frame.resize(12);
                } else if (kind == 3) { // a login whose texts have no NUL
                    CThostFtdcReqUserLoginField login;
                    std::memset(&login, 'A', sizeof login);
                    u32(8 + sizeof login);
                    frame.push_back(10);
                    frame.push_back(0);
                    frame.push_back(5); // last + record
                    frame.push_back(0);
                    u32(1);
                    const auto *p = reinterpret_cast<const unsigned char *>(&login);
                    frame.insert(frame.end(), p, p + sizeof login);
                } else { // a login cut short, then the connection closes
                    u32(8 + sizeof(CThostFtdcReqUserLoginField));
                    frame.push_back(10);
                    frame.push_back(0);
                    frame.push_back(5);
                    frame.push_back(0);
                    u32(1);
                    frame.resize(frame.size() + rng() % 100);
                }
                const ssize_t n = ::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
                ++sent;
                if (n < 0 || kind != 1 || rng() % 4 == 0) {
                    ::close(fd);
                    fd = -1;
                }
            }
            if (fd >= 0) {
                ::close(fd);
            }
            done = true;
        });

        // Meanwhile the good client trades on.
        int orders = 0;
        while (!done && orders < 400) {
            const double price = orders % 2 ? 2900 : 3100;
            const char direction = orders % 2 ? '1' : '0';
            const char offset = orders % 2 ? '1' : '0';
            QCOMPARE(c.order("m2705", direction, offset, 1, price, orders + 1), 0);
            ++orders;
            QVERIFY(c.waitFor([&](const TraderState &s) { return int(s.trades.size()) == orders; },
                              10000));
        }
        attacker.join();
        QCOMPARE(sent.load(), 10000);
        QVERIFY(orders > 0);
        QVERIFY(f.process.isRunning());
        QVERIFY(c.state().disconnects.empty());
        QVERIFY(f.process.standardError().contains("bad frame"));

        // And the front still serves new clients.
        TraderClient late(f.flow("late"), f.td());
        QVERIFY(late.ready("000002"));
        QVERIFY(f.process.stop());
        QCOMPARE(f.process.exitCode(), 0);
    }
    void aClientThatNeverReadsIsDroppedAlone()
    {
        Front f;
        QVERIFY(f.start());
        TraderClient good(f.flow("td"), f.td());
        QVERIFY(good.ready());

        const int fd = rawConnect(portOf(f.td()));
        QVERIFY(fd >= 0);
        using velmora::wire::FrameCodec;
        using velmora::wire::MsgType;
        CThostFtdcReqUserLoginField login{};
        std::strcpy(login.BrokerID, "9999");
        std::strcpy(login.UserID, "000002");
        std::strcpy(login.Password, "123456");
        QVERIFY(sendAll(fd, FrameCodec::encode(MsgType::ReqUserLogin, 1, true, nullptr, &login)));
        // Each query is answered with the whole statement; the answers pile up unread.
        CThostFtdcQrySettlementInfoField query{};
        const auto frame =
            FrameCodec::encode(MsgType::ReqQrySettlementInfo, 2, true, nullptr, &query);
        std::vector<unsigned char> batch;
        for (int i = 0; i < 100; ++i) {
            batch.insert(batch.end(), frame.begin(), frame.end());
        }
        bool dropped = false;
        for (int i = 0; i < 400 && !dropped; ++i) {
            dropped = !sendAll(fd, batch) || f.process.standardError().contains("reads too slowly");
        }
        QTRY_VERIFY_WITH_TIMEOUT(f.process.standardError().contains("reads too slowly"), 20000);
        ::close(fd);

        // The others never noticed.
        QVERIFY(f.quote("m2705", 3000, 3001));
        QCOMPARE(good.order("m2705", '0', '0', 1, 3001, 1), 0);
        QVERIFY(good.waitFor([](const TraderState &s) { return s.trades.size() == 1; }));
        QVERIFY(good.state().disconnects.empty());
    }

    void configurationFileAndReplayedTicks()
    {
        QTemporaryDir files;
        QFile config(files.filePath("front.json"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(R"({"brokerId": "9999", "frontId": 7,
            "investors": [{"id": "900001", "password": "pw", "initialFunds": 50000}],
            "instruments": [{"id": "ag2706", "name": "白银2706", "exchangeId": "SHFE",
                "volumeMultiple": 15, "priceTick": 1, "preSettlementPrice": 7000,
                "limitRatio": 0.08, "marginRatio": 0.12}]})");
        config.close();
        QFile ticks(files.filePath("ticks.csv"));
        QVERIFY(ticks.open(QIODevice::WriteOnly));
        ticks.write("instrument,last,bid,bidVolume,ask,askVolume,volume\n"
                    "ag2706,7010,7009,3,7011,4,2\n"
                    "ag2706,7020\n");
        ticks.close();

        Front f;
        QVERIFY(f.start({"--config", config.fileName(), "--replay", ticks.fileName()}, true));
        TraderClient c(f.flow("td"), f.td());
        QVERIFY(c.waitFor([](const TraderState &s) { return s.connected == 1; }));
        QCOMPARE(c.login("900001", "pw", 11), 0);
        QVERIFY(c.waitFor([](const TraderState &s) { return s.logins.size() == 1; }));
        QCOMPARE(c.state().logins[0].FrontID, 7);
        CThostFtdcQryInstrumentField qi{};
        QVERIFY(c.query(
            "QryInstrument", [&](int id) { return c.api()->ReqQryInstrument(&qi, id); }, 601));
        QCOMPARE(int(c.state().instruments.size()), 1);
        QCOMPARE(fromGb2312(c.state().instruments[0].InstrumentName), std::string("白银2706"));
        QCOMPARE(c.state().instruments[0].LongMarginRatio, 0.12);

        MdClient m(f.flow("md"), f.md());
        QVERIFY(m.waitFor([](const MdState &s) { return s.connected == 1; }));
        QCOMPARE(m.login(1), 0);
        QVERIFY(m.waitFor([](const MdState &s) { return !s.answers.empty(); }));
        QCOMPARE(m.subscribe({"ag2706"}), 0);
        // The file's two lines, again and again.
        QVERIFY(m.waitFor([](const MdState &s) { return s.ticks.size() >= 6; }));
        const MdState s = m.state();
        int first = 0;
        int second = 0;
        for (std::size_t i = 1; i < s.ticks.size(); ++i) { // the first one is the snapshot
            const auto &t = s.ticks[i];
            if (t.LastPrice == 7010) {
                QCOMPARE(t.BidPrice1, 7009.0);
                QCOMPARE(t.AskVolume1, 4);
                ++first;
            } else {
                QCOMPARE(t.LastPrice, 7020.0);
                QCOMPARE(t.BidPrice1, 7020.0);
                QCOMPARE(t.AskPrice1, 7021.0);
                ++second;
            }
            QCOMPARE(t.UpperLimitPrice, 7560.0);
        }
        QVERIFY(first >= 2 && second >= 2);
    }
};

QTEST_GUILESS_MAIN(TestSimFront)
#include "tst_simfront.moc"
