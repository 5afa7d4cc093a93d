#include "capture.h"
#include "globalvars.h"
#include "platformsim.h"
#include "signalanalyze.h"
#include "signalapi.h"

#include <QDateTime>
#include <QtTest>

using Command = SignalAnalyze::Command;
Q_DECLARE_METATYPE(SignalAnalyze::Command)

class TestSignalAnalyze : public QObject
{
    Q_OBJECT

private:
    PlatformSim sim;
    QList<QPair<Command, QString>> commands;
    std::unique_ptr<SignalAnalyze> analysis;

    void publish(QJsonObject signal, const QString &accountType = QStringLiteral("simulation"))
    {
        signal.insert("username", "demo");
        signal.insert("accountType", accountType);
        if (!signal.contains("openOrClose")) {
            signal.insert("openOrClose", "open");
        }
        if (!signal.contains("direction")) {
            signal.insert("direction", "buy");
        }
        QVERIFY(sim.publishSignal(signal));
    }

    void login(const QString &accountType = QStringLiteral("simulation"))
    {
        PlatformSim::useDemoUser(accountType);
        QVERIFY(analysis->signalApi->login());
    }

private slots:
    void initTestCase() { QVERIFY2(sim.start(), qPrintable(sim.errorString())); }

    void init()
    {
        GlobalVars::baseUrl = sim.url();
        GlobalVars::signalIds.clear();
        commands.clear();
        analysis = std::make_unique<SignalAnalyze>();
        analysis->setCommandHandler([this](Command command, const QString &id) {
            commands.append({command, id});
        });
        login();
    }

    void cleanup() { analysis.reset(); }

    void decisionTable_data()
    {
        QTest::addColumn<QString>("direction");
        QTest::addColumn<QString>("openOrClose");
        QTest::addColumn<Command>("command");
        QTest::newRow("buy open") << "buy"
                                  << "open" << Command::OpenLong;
        QTest::newRow("sell close") << "sell"
                                    << "close" << Command::CloseLong;
        QTest::newRow("sell open") << "sell"
                                   << "open" << Command::OpenShort;
        QTest::newRow("buy close") << "buy"
                                   << "close" << Command::CloseShort;
        QTest::newRow("capitals") << "BUY"
                                  << "Open" << Command::OpenLong;
        QTest::newRow("mixed case") << "sElL"
                                    << "CLOSE" << Command::CloseLong;
        QTest::newRow("hold") << "hold"
                              << "open" << Command::None;
        QTest::newRow("no flag") << "buy"
                                 << "" << Command::None;
        QTest::newRow("blank around") << " buy"
                                      << "open" << Command::None;
        QTest::newRow("swapped") << "open"
                                 << "buy" << Command::None;
    }

    void decisionTable()
    {
        QFETCH(QString, direction);
        QFETCH(QString, openOrClose);
        QFETCH(Command, command);
        QCOMPARE(SignalAnalyze::decide(direction, openOrClose), command);
    }

    void aNewSignalIsActedOnOnce()
    {
        publish({{"id", "A-1"}, {"direction", "BUY"}, {"openOrClose", "Open"}});
        analysis->analyze();
        QCOMPARE(commands, (QList<QPair<Command, QString>>{{Command::OpenLong, "A-1"}}));
        QCOMPARE(GlobalVars::signalIds, QStringList{"A-1"});

        analysis->analyze();
        QCOMPARE(commands.size(), 1);

        publish({{"id", "A-2"}, {"direction", "sell"}, {"openOrClose", "close"}});
        analysis->analyze();
        QCOMPARE(commands.last(), (QPair<Command, QString>{Command::CloseLong, "A-2"}));
        QCOMPARE(GlobalVars::signalIds, (QStringList{"A-1", "A-2"}));
    }

    // Ignored signals leave no trace, so the same id can still be acted on once it qualifies.
    void signalsThatDoNotQualifyAreNotRecorded_data()
    {
        QTest::addColumn<QJsonObject>("signal");
        const qint64 past = QDateTime::currentSecsSinceEpoch() - 10;
        QTest::newRow("instrument in other case") << QJsonObject{{"instrument", "RB2705"}};
        QTest::newRow("other instrument") << QJsonObject{{"instrument", "ag2706"}};
        QTest::newRow("traded") << QJsonObject{{"isTraded", true}};
        QTest::newRow("expired") << QJsonObject{{"expires", past}};
    }

    void signalsThatDoNotQualifyAreNotRecorded()
    {
        QFETCH(QJsonObject, signal);
        signal.insert("id", "B-1");
        publish(signal);
        analysis->analyze();
        QVERIFY(commands.isEmpty());
        QVERIFY(GlobalVars::signalIds.isEmpty());

        publish({{"id", "B-1"}});
        analysis->analyze();
        QCOMPARE(commands, (QList<QPair<Command, QString>>{{Command::OpenLong, "B-1"}}));
    }

    // The session as it is once the fetch has returned: a blocked one is said, and the signal
    // is acted on at the next poll after the block.
    void aSignalMeetingABlockWaitsForTheNextPoll()
    {
        Capture capture;
        QString block = QString::fromUtf8("交易账户未登录");
        analysis->setReadyCheck([&block] { return block; });
        publish({{"id", "B-2"}});
        analysis->analyze();
        QVERIFY(commands.isEmpty());
        QVERIFY(GlobalVars::signalIds.isEmpty());
        QCOMPARE(capture.takeLines(),
                 QStringList{QString::fromUtf8("[策略] 信号B-2暂不执行：交易账户未登录")});
        block.clear();
        analysis->analyze();
        QCOMPARE(commands, (QList<QPair<Command, QString>>{{Command::OpenLong, "B-2"}}));
    }

    void anUnknownPairIsRecordedAndNeverRetried()
    {
        publish({{"id", "C-1"}, {"direction", "hold"}});
        analysis->analyze();
        QVERIFY(commands.isEmpty());
        QCOMPARE(GlobalVars::signalIds, QStringList{"C-1"});

        publish({{"id", "C-1"}, {"direction", "buy"}}); // corrected, same id
        analysis->analyze();
        QVERIFY(commands.isEmpty());
    }

    void aFailedFetchDoesNothing()
    {
        Capture capture;
        QVERIFY(sim.fault({{"path", "/api/signalSimulation"}, {"status", 500}}));
        analysis->analyze();
        QVERIFY(commands.isEmpty());
        QVERIFY(GlobalVars::signalIds.isEmpty());
        QCOMPARE(capture.takeWarnings(),
                 QStringList{QString::fromUtf8(
                     "[SS] Warning:  500 ,  \"[网络异常31] 远程服务器发生错误\"")});
    }

    void theAccountTypeChoosesTheEndpoint_data()
    {
        QTest::addColumn<QString>("accountType");
        QTest::addColumn<QString>("path");
        QTest::newRow("real") << "real"
                              << "/api/signalReal";
        QTest::newRow("simulation") << "simulation"
                                    << "/api/signalSimulation";
        QTest::newRow("anything else") << "paper"
                                       << "/api/signalSimulation";
    }

    void theAccountTypeChoosesTheEndpoint()
    {
        QFETCH(QString, accountType);
        QFETCH(QString, path);
        login(accountType == QLatin1String("real") ? "real" : "simulation");
        GlobalVars::accountType = accountType;
        publish({{"id", "D-" + accountType}},
                accountType == QLatin1String("real") ? "real" : "simulation");
        sim.admin("DELETE", "/admin/requests");
        analysis->analyze();
        const QJsonArray seen = sim.admin("GET", "/admin/requests").value("data").toArray();
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.at(0).toObject().value("path").toString(), path);
        QCOMPARE(commands,
                 (QList<QPair<Command, QString>>{{Command::OpenLong, "D-" + accountType}}));
    }

    // The order and fill reports that name a signal mark it traded on the platform; another
    // client process that has not seen the id leaves it alone.
    void aSignalTradedThroughItsReportsIsLeftAlone()
    {
        publish({{"id", "E-1"}});
        analysis->setCommandHandler([this](Command, const QString &id) {
            SignalApi &reports = *analysis->signalApi;
            reports.reportOrder("1e1", id, QString::fromUtf8("多头 开仓"), 1, 3500);
            reports.reportFill("1e1", 1, 3500);
        });
        analysis->analyze();
        QVERIFY(analysis->signalApi->waitForReports(15000));
        QJsonObject signal;
        QVERIFY(analysis->signalApi->signalSimulation(&signal));
        QCOMPARE(signal.value("isTraded").toBool(), true);

        GlobalVars::signalIds.clear();
        analysis->setCommandHandler([this](Command command, const QString &id) {
            commands.append({command, id});
        });
        analysis->analyze();
        QVERIFY(commands.isEmpty());
        QVERIFY(GlobalVars::signalIds.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSignalAnalyze)
#include "tst_signalanalyze.moc"
