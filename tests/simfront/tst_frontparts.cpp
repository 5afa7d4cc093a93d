// The front's smaller parts: quotes, replay files, configuration, GB2312 pieces, command line.

#include "calendar.h"
#include "frontconfig.h"
#include "gb2312.h"
#include "options.h"
#include "quotebook.h"
#include "quotereplay.h"

#include <QtTest>

#include <cmath>

using namespace simfront;

namespace {

bool onGrid(double price, double tick)
{
    const double steps = price / tick;
    return std::fabs(steps - std::round(steps)) < 1e-6;
}

} // namespace

class TestFrontParts : public QObject
{
    Q_OBJECT

private slots:
    void randomWalkStaysOnTheGridInsideTheLimits()
    {
        const FrontConfig cfg = FrontConfig::builtIn();
        QuoteBook a(cfg.instruments, 42);
        QuoteBook b(cfg.instruments, 42);
        QuoteBook c(cfg.instruments, 43);
        bool differs = false;
        int thin = 0; // best levels a 30-lot order goes through
        for (int i = 0; i < 5000; ++i) {
            a.walk();
            b.walk();
            c.walk();
            for (const auto &[id, q] : a.all()) {
                QVERIFY2(onGrid(q.last, q.priceTick), id.c_str());
                // Strictly inside, so an order one tick inside the limit always meets them.
                QVERIFY(q.bid() > q.lowerLimit && q.ask() < q.upperLimit);
                QVERIFY(q.ask() > q.bid());
                for (const Side *side : {&q.bids, &q.asks}) {
                    for (std::size_t l = 0; l < kDepth; ++l) {
                        const Level &level = (*side)[l];
                        if (level.volume == 0) {
                            continue; // only beyond a limit
                        }
                        QVERIFY(onGrid(level.price, q.priceTick));
                        QVERIFY(level.price >= q.lowerLimit && level.price <= q.upperLimit);
                        if (l > 0) {
                            const double step = level.price - (*side)[l - 1].price;
                            QVERIFY(side == &q.bids ? step < 0 : step > 0);
                        }
                    }
                }
                thin += q.asks[0].volume < 30 ? 1 : 0;
                QVERIFY(q.low <= q.last && q.last <= q.high);
                QCOMPARE(q.last, b.find(id)->last); // same seed, same walk
                differs = differs || q.last != c.find(id)->last;
            }
        }
        QVERIFY(differs);
        QVERIFY(thin > 500 && thin < 5 * 5000 - 500);

        // Only the instruments whose market moves take a step.
        const Quote before = *a.find("m2705");
        a.walk([](const std::string &id) { return id == "rb2705"; });
        QCOMPARE(a.find("m2705")->updateTime, before.updateTime);
        QCOMPARE(a.find("m2705")->asks[0].volume, before.asks[0].volume);
        QCOMPARE(a.find("m2705")->volume, before.volume);
    }

    void limitsAndSnapping()
    {
        QCOMPARE(QuoteBook::upperLimitOf(3900, 0.10, 0.2), 4290.0);
        QCOMPARE(QuoteBook::lowerLimitOf(3900, 0.10, 0.2), 3510.0);
        // The band is cut inwards to the grid.
        QCOMPARE(QuoteBook::upperLimitOf(3333, 0.07, 1), 3566.0);
        QCOMPARE(QuoteBook::lowerLimitOf(3333, 0.07, 1), 3100.0);
        QCOMPARE(QuoteBook::snap(560.07, 0.1), 560.1);

        QuoteBook book(FrontConfig::builtIn().instruments, 1);
        std::string error;
        QuoteUpdate u;
        u.instrumentId = "IF2706";
        u.last = 3901.13;
        QVERIFY(book.apply(u, error));
        QCOMPARE(book.find("IF2706")->last, 3901.2);
        QCOMPARE(book.find("IF2706")->bid(), 3901.2);
        QCOMPARE(book.find("IF2706")->ask(), 3901.4);
        QCOMPARE(book.find("IF2706")->bids[4].price, 3900.4); // five levels, a tick apart
        u.last = -1;
        QVERIFY(!book.apply(u, error));
        u.instrumentId = "nope";
        u.last = 1;
        QVERIFY(!book.apply(u, error));

        // Depth given level by level: at the limits but not beyond, best first, not crossed.
        const Quote &rb = *book.find("rb2705"); // limits 3255 .. 3745
        using Levels = std::vector<Level>;
        const struct
        {
            Levels bids;
            Levels asks;
            bool ok;
        } cases[] = {
            {{{3745, 5}}, {}, true}, // locked at the upper limit: no sellers
            {{}, {{3255, 5}, {3256, 1}}, true},
            {{{3746, 5}}, {}, false},
            {{}, {{3254, 5}}, false},
            {{{3500, 5}, {3501, 5}}, {}, false}, // bids go down from the best
            {{{3500, 5}}, {{3500, 5}}, false},   // crossed
            {{{3500, 0}}, {}, false},
            {{{3505, 1}, {3504, 1}, {3503, 1}, {3502, 1}, {3501, 1}, {3500, 1}}, {}, false},
        };
        for (const auto &c : cases) {
            QuoteUpdate d;
            d.instrumentId = "rb2705";
            d.bids = c.bids;
            d.asks = c.asks;
            const Quote was = rb;
            QCOMPARE(book.apply(d, error), c.ok);
            QCOMPARE(rb.bid(), c.ok ? (c.bids.empty() ? 0 : c.bids[0].price) : was.bid());
            QCOMPARE(rb.ask(), c.ok ? (c.asks.empty() ? 0 : c.asks[0].price) : was.ask());
        }
    }

    void replayFiles()
    {
        QuoteReplay replay;
        std::string error;
        QVERIFY(replay.parse("instrument,last,bid,bidVolume,ask,askVolume,volume\n"
                             "# a comment\n"
                             "rb2705,3501,3500,10,3502,20,5\r\n"
                             "\n"
                             "m2705,3001\n",
                             error));
        QCOMPARE(int(replay.size()), 2);
        const QuoteUpdate first = replay.next();
        QCOMPARE(first.instrumentId, std::string("rb2705"));
        QCOMPARE(*first.bid, 3500.0);
        QCOMPARE(*first.askVolume, 20);
        QCOMPARE(*first.volume, 5);
        const QuoteUpdate second = replay.next();
        QVERIFY(!second.bid);
        QCOMPARE(replay.next().instrumentId, std::string("rb2705")); // starts again

        QVERIFY(!replay.parse("rb2705\n", error));
        QVERIFY(error.find("line 1") != std::string::npos);
        QVERIFY(!replay.parse("rb2705,abc\n", error));
        QVERIFY(!replay.parse("rb2705,3500,x\n", error));
        QVERIFY(!replay.parse("# nothing\n", error));
    }

    void configuration()
    {
        const FrontConfig cfg = FrontConfig::builtIn();
        QVERIFY(cfg.investor("000001") && cfg.investor("000002"));
        QCOMPARE(cfg.investor("000001")->password, std::string("123456"));
        QCOMPARE(cfg.brokerId, std::string("9999"));
        for (const char *exchange : {"SHFE", "INE", "DCE", "CZCE", "CFFEX"}) {
            bool found = false;
            for (const auto &i : cfg.instruments) {
                found = found || i.exchangeId == exchange;
            }
            QVERIFY2(found, exchange);
        }
        QVERIFY(cfg.instrument("rb2705")->splitsTodayYesterday());
        QVERIFY(!cfg.instrument("m2705")->splitsTodayYesterday());

        FrontConfig out;
        std::string error;
        const std::string minimal =
            R"({"investors":[{"id":"1","password":"p"}],"instruments":[{"id":"x1","exchangeId":"DCE",)"
            R"("preSettlementPrice":100.3,"priceTick":0.5}]})";
        QVERIFY2(FrontConfig::parse(minimal, out, error), error.c_str());
        QCOMPARE(out.instruments[0].preSettlementPrice, 100.5); // put on the grid
        QCOMPARE(out.instruments[0].exchangeMarginRatio, out.instruments[0].marginRatio);

        QVERIFY(!FrontConfig::parse("{", out, error));
        QVERIFY(!FrontConfig::parse("[]", out, error));
        QVERIFY(!FrontConfig::parse(R"({"investors":[],"instruments":[]})", out, error));
        std::string bad = minimal;
        bad.replace(bad.find("0.5"), 3, "-1");
        QVERIFY(!FrontConfig::parse(bad, out, error));
        bad = minimal;
        bad.replace(bad.find("100.3"), 5, "\"a\"");
        QVERIFY(!FrontConfig::parse(bad, out, error));
        QVERIFY(!FrontConfig::load("/nonexistent/simfront.json", out, error));
    }

    void gb2312Pieces()
    {
        const std::string gb = Gb2312::fromUtf8("结算单A确认");
        QCOMPARE(Gb2312::toUtf8(gb), std::string("结算单A确认"));
        QCOMPARE(gb.size(), std::size_t(11));
        // Five bytes would cut the third character in two: the piece stops before it.
        QCOMPARE(Gb2312::pieceLength(gb, 0, 5), std::size_t(4));
        QCOMPARE(Gb2312::pieceLength(gb, 4, 3), std::size_t(3)); // "单A"
        QCOMPARE(Gb2312::pieceLength(gb, 0, 100), gb.size());
        // Every piece of a long text decodes on its own and they add up to the whole.
        std::string utf8;
        for (int i = 0; i < 200; ++i) {
            utf8 += i % 7 == 0 ? "x" : "盈";
        }
        const std::string all = Gb2312::fromUtf8(utf8);
        std::string joined;
        for (std::size_t pos = 0; pos < all.size();) {
            const std::size_t n = Gb2312::pieceLength(all, pos, 25);
            QVERIFY(n > 0 && n <= 25);
            const std::string piece = Gb2312::toUtf8(all.substr(pos, n));
            QVERIFY(piece.find("\xEF\xBF\xBD") == std::string::npos);
            joined += piece;
            pos += n;
        }
        QCOMPARE(joined, utf8);

        char field[6];
        Gb2312::copyToField(field, sizeof field, gb);
        QCOMPARE(std::string(field), gb.substr(0, 4));
        // Characters outside GB2312 do not stop the rest of the text.
        QCOMPARE(Gb2312::toUtf8(Gb2312::fromUtf8("a😀b")), std::string("a?b"));
    }

    void commandLine()
    {
        Options o;
        std::string error;
        const char *defaults[] = {"simfront"};
        QVERIFY(Options::parse(1, defaults, o, error));
        QCOMPARE(o.tdPort, 41205);
        QCOMPARE(o.mdPort, 41213);
        QCOMPARE(o.tickMs, 500);

        const char *args[] = {"simfront", "--td",   "127.0.0.1:0", "--md=127.0.0.1:7",
                              "--seed",   "9",      "--tick-ms",   "1",
                              "--data",   "/tmp/x", "--admin",     "localhost:0"};
        QVERIFY2(Options::parse(12, args, o, error), error.c_str());
        QCOMPARE(o.tdPort, 0);
        QCOMPARE(o.mdPort, 7);
        QCOMPARE(o.seed, 9ULL);
        QCOMPARE(o.tickMs, 1);
        QCOMPARE(o.dataDir, std::string("/tmp/x"));

        const char *badTick[] = {"simfront", "--tick-ms", "0"};
        QVERIFY(!Options::parse(3, badTick, o, error));
        const char *badAddr[] = {"simfront", "--td", "nohost"};
        QVERIFY(!Options::parse(3, badAddr, o, error));
        const char *missing[] = {"simfront", "--config"};
        QVERIFY(!Options::parse(2, missing, o, error));
        const char *unknown[] = {"simfront", "--frobnicate"};
        QVERIFY(!Options::parse(2, unknown, o, error));
        // The admin interface has no authentication and must stay on loopback.
        const char *openAdmin[] = {"simfront", "--admin", "0.0.0.0:8080"};
        QVERIFY(!Options::parse(3, openAdmin, o, error));
        QVERIFY(Options::isLoopback("::1"));
        QVERIFY(!Options::isLoopback("10.0.0.1"));

        // Every option is in the help text.
        const std::string help = Options::helpText();
        for (const char *opt : {"--td", "--md", "--admin", "--data", "--config", "--seed",
                                "--tick-ms", "--replay", "--print-config", "--help"}) {
            QVERIFY2(help.find(opt) != std::string::npos, opt);
        }
    }

    void weekdays()
    {
        QCOMPARE(Calendar::nextWeekday("20261204"), std::string("20261207")); // Fri -> Mon
        QCOMPARE(Calendar::previousWeekday("20261207"), std::string("20261204"));
        QCOMPARE(Calendar::nextWeekday("20261231"), std::string("20270101"));
        QCOMPARE(Calendar::firstTradingDay("20261205"), std::string("20261207")); // Saturday
        QCOMPARE(Calendar::firstTradingDay("20261208"), std::string("20261208"));
        QVERIFY(!Calendar::isDate("2026120"));
        QVERIFY(!Calendar::isDate("20261301"));
    }
};

QTEST_APPLESS_MAIN(TestFrontParts)
#include "tst_frontparts.moc"
