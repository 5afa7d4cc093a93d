#include "globalvars.h"

#include <QSet>
#include <QtTest>

#include <thread>

#include <vector>

class TestGlobalVars : public QObject
{
    Q_OBJECT

private slots:
    // Runs first, before anything has touched the record.
    void initialValues()
    {
        QCOMPARE(GlobalVars::baseUrl.get(), QStringLiteral("http://127.0.0.1:41280"));
        QCOMPARE(GlobalVars::appVersion.get(), QStringLiteral("1.0"));
        QCOMPARE(GlobalVars::version.get(), QStringLiteral("1.0"));
        QCOMPARE(GlobalVars::titleFormat.get(), QString::fromUtf8("velmora%1 - 程序化交易(CTP版)"));
        QCOMPARE(GlobalVars::userProductInfo.get(), QStringLiteral("velmora_beta"));
        QVERIFY(QRegularExpression("^\\d{12}$").match(GlobalVars::startStamp.get()).hasMatch());
        QCOMPARE(GlobalVars::accountType.get(), QStringLiteral("simulation"));
        QVERIFY(GlobalVars::username.isEmpty());
        QVERIFY(GlobalVars::iniPath.isEmpty());
        QCOMPARE(GlobalVars::state.load(), false);
        QCOMPARE(GlobalVars::strategyState.load(), -1);
        QCOMPARE(GlobalVars::tradeConnectionState.load(), -1);
        QCOMPARE(GlobalVars::tradeLoginState.load(), -1);
        QCOMPARE(GlobalVars::mdLoginState.load(), -1);
        QCOMPARE(GlobalVars::requestID.load(), 100);
        QCOMPARE(GlobalVars::pendingRequest.load(), 0);
        QCOMPARE(GlobalVars::instLifePhase.load(), '0');
        QCOMPARE(GlobalVars::positionType.load(), '2');
        QCOMPARE(GlobalVars::positionQueryStart.load(), true);
        QVERIFY(GlobalVars::flowMutex != nullptr);
        QVERIFY(GlobalVars::mainWindow == nullptr);
        QVERIFY(GlobalVars::tradeApi.load() == nullptr);
        QVERIFY(GlobalVars::ctpConnectionTime.get().isValid());
        QVERIFY(GlobalVars::signalIds.isEmpty());
    }

    void resetEndsTheSessionButKeepsWhatOutlivesIt()
    {
        GlobalVars::baseUrl = QStringLiteral("http://platform.test:8080");
        GlobalVars::accountType = QStringLiteral("real");
        GlobalVars::username = QStringLiteral("trader01");
        GlobalVars::password = QStringLiteral("secret");
        GlobalVars::token = QStringLiteral("tok");
        GlobalVars::loginCode = QStringLiteral("code");
        GlobalVars::state = true;
        GlobalVars::profit = 0.3;
        GlobalVars::maxCapital = 50000.0;
        GlobalVars::brokerID = QStringLiteral("9999");
        GlobalVars::investerID = QStringLiteral("000001");
        GlobalVars::investerPassword = QStringLiteral("123456");
        GlobalVars::instrument = QStringLiteral("rb2705");
        GlobalVars::name = QString::fromUtf8("模拟交易");
        GlobalVars::mdAddress = QStringLiteral("tcp://127.0.0.1:41213");
        GlobalVars::tdAddress = QStringLiteral("tcp://127.0.0.1:41205");
        GlobalVars::leverage = 5;
        GlobalVars::signalTimerSeconds = 3;
        GlobalVars::tokenTimerSeconds = 1800;
        GlobalVars::signalIds << QStringLiteral("sig-1");
        GlobalVars::strategyState = 0;
        GlobalVars::tradeConnectionState = 0;
        GlobalVars::tradeLoginState = 0;
        GlobalVars::mdLoginState = 0;
        GlobalVars::requestID = 4711;
        GlobalVars::frontID = 1;
        GlobalVars::sessionID = 42;
        GlobalVars::maxOrderRef = 17;
        GlobalVars::pendingRequest = 21;
        GlobalVars::instrumentName = QString::fromUtf8("螺纹钢2705");
        GlobalVars::exchangeID = QStringLiteral("SHFE");
        GlobalVars::openDate = QStringLiteral("20260515");
        GlobalVars::expireDate = QStringLiteral("20270517");
        GlobalVars::underlyingInstrID = QStringLiteral("rb");
        GlobalVars::volumeMultiple = 10;
        GlobalVars::priceTick = 1.0;
        GlobalVars::underlyingMultiple = 1.0;
        GlobalVars::isTrading = true;
        GlobalVars::instLifePhase = '1';
        GlobalVars::positionType = '1';
        GlobalVars::lastPrice = 3456.0;
        GlobalVars::bidVolume1 = 12;
        GlobalVars::currMargin = 1000.0;
        GlobalVars::available = 9000.0;
        GlobalVars::exchangeMargin = 800.0;
        GlobalVars::longPosition = 3;
        GlobalVars::longCloseProfit = 20.0;
        GlobalVars::shortTodayPosition = 2;
        GlobalVars::shortPositionCost = 6912.0;
        GlobalVars::positionQueryStart = false;
        const QDateTime connectedAt = QDateTime::currentDateTime().addSecs(-60);
        GlobalVars::ctpConnectionTime = connectedAt;

        GlobalVars::resetSession();

        QCOMPARE(GlobalVars::accountType.get(), QStringLiteral("simulation"));
        for (Guarded<QString> *cleared :
             {&GlobalVars::username, &GlobalVars::password, &GlobalVars::token,
              &GlobalVars::loginCode, &GlobalVars::brokerID, &GlobalVars::investerID,
              &GlobalVars::investerPassword, &GlobalVars::instrument, &GlobalVars::name,
              &GlobalVars::mdAddress, &GlobalVars::tdAddress, &GlobalVars::instrumentName,
              &GlobalVars::exchangeID, &GlobalVars::openDate, &GlobalVars::expireDate,
              &GlobalVars::underlyingInstrID}) {
            QVERIFY(cleared->isEmpty());
        }
        QCOMPARE(GlobalVars::state.load(), false);
        QCOMPARE(GlobalVars::profit.load(), 0.0);
        QCOMPARE(GlobalVars::maxCapital.load(), 0.0);
        QCOMPARE(GlobalVars::leverage.load(), 0);
        QCOMPARE(GlobalVars::strategyState.load(), -1);
        QCOMPARE(GlobalVars::tradeConnectionState.load(), -1);
        QCOMPARE(GlobalVars::tradeLoginState.load(), -1);
        QCOMPARE(GlobalVars::mdLoginState.load(), -1);
        QCOMPARE(GlobalVars::requestID.load(), 100);
        QCOMPARE(GlobalVars::frontID.load(), 0);
        QCOMPARE(GlobalVars::sessionID.load(), 0);
        QCOMPARE(GlobalVars::maxOrderRef.load(), 0);
        QCOMPARE(GlobalVars::pendingRequest.load(), 0);
        QCOMPARE(GlobalVars::volumeMultiple.load(), 0);
        QCOMPARE(GlobalVars::priceTick.load(), 0.0);
        QCOMPARE(GlobalVars::underlyingMultiple.load(), 0.0);
        QCOMPARE(GlobalVars::isTrading.load(), false);
        QCOMPARE(GlobalVars::instLifePhase.load(), '0');
        QCOMPARE(GlobalVars::positionType.load(), '2');
        QCOMPARE(GlobalVars::currMargin.load(), 0.0);
        QCOMPARE(GlobalVars::available.load(), 0.0);
        QCOMPARE(GlobalVars::exchangeMargin.load(), 0.0);
        QCOMPARE(GlobalVars::longPosition.load(), 0);
        QCOMPARE(GlobalVars::longCloseProfit.load(), 0.0);
        QCOMPARE(GlobalVars::shortTodayPosition.load(), 0);
        QCOMPARE(GlobalVars::shortPositionCost.load(), 0.0);
        QCOMPARE(GlobalVars::positionQueryStart.load(), true);

        // What outlives a session.
        QCOMPARE(GlobalVars::baseUrl.get(), QStringLiteral("http://platform.test:8080"));
        QCOMPARE(GlobalVars::signalTimerSeconds.load(), 3);
        QCOMPARE(GlobalVars::tokenTimerSeconds.load(), 1800);
        QCOMPARE(GlobalVars::signalIds, QStringList{QStringLiteral("sig-1")});
        QCOMPARE(GlobalVars::lastPrice.load(), 3456.0);
        QCOMPARE(GlobalVars::bidVolume1.load(), 12);
        QCOMPARE(GlobalVars::ctpConnectionTime.get(), connectedAt);
        QCOMPARE(GlobalVars::appVersion.get(), QStringLiteral("1.0"));
    }

    void requestNumbersWrapFromTheTopBackTo101()
    {
        GlobalVars::resetSession();
        QCOMPARE(nextRequestID(), 101);
        QCOMPARE(nextRequestID(), 102);
        GlobalVars::requestID = 999999;
        QCOMPARE(nextRequestID(), 1000000);
        QCOMPARE(nextRequestID(), 101);
    }

    void concurrentDrawsNeverRepeat()
    {
        GlobalVars::resetSession();
        const int perThread = 10000;
        std::vector<int> first(perThread), second(perThread);
        auto draw = [perThread](std::vector<int> *into) {
            for (int i = 0; i < perThread; ++i) {
                (*into)[static_cast<size_t>(i)] = nextRequestID();
            }
        };
        std::thread a(draw, &first);
        std::thread b(draw, &second);
        a.join();
        b.join();

        QSet<int> seen;
        for (const std::vector<int> *numbers : {&first, &second}) {
            for (int n : *numbers) {
                QVERIFY(n >= 101 && n <= 1000000);
                seen.insert(n);
            }
        }
        QCOMPARE(seen.size(), 2 * perThread);
    }
};

QTEST_GUILESS_MAIN(TestGlobalVars)
#include "tst_globalvars.moc"
