#include "globalvars.h"
#include "startup.h"
#include "terminationsignals.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <thread>

class TestStartup : public QObject
{
    Q_OBJECT

    QString defaultBaseUrl;

    void writeIni(const QTemporaryDir &dir, const QByteArray &content)
    {
        QFile ini(dir.filePath("setup.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(content);
    }

private slots:
    void initTestCase() { defaultBaseUrl = GlobalVars::baseUrl; }
    void init() { GlobalVars::baseUrl = defaultBaseUrl; }

    void settingsFileLivesInTheApplicationFolder()
    {
        QTemporaryDir dir;
        applySettingsFile(dir.path());
        QCOMPARE(GlobalVars::iniPath.get(), dir.path() + "/setup.ini");
        QCOMPARE(GlobalVars::baseUrl.get(), defaultBaseUrl); // no file at all
    }

    void serverOverride_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing key") << QByteArray("[SETUP]\r\nusername=a\r\n") << QString();
        QTest::newRow("empty") << QByteArray("[SETUP]\r\nserver=\r\n") << QString();
        QTest::newRow("blanks only") << QByteArray("[SETUP]\r\nserver=\"   \"\r\n") << QString();
        QTest::newRow("other group") << QByteArray("[OTHER]\r\nserver=http://x:1\r\n") << QString();
        QTest::newRow("address") << QByteArray("[SETUP]\r\nserver=http://10.0.0.5:9000\r\n")
                                 << QStringLiteral("http://10.0.0.5:9000");
        QTest::newRow("padded, kept as read")
            << QByteArray("[SETUP]\r\nserver=\"  http://host:81  \"\r\n")
            << QStringLiteral("  http://host:81  ");
    }

    void serverOverride()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        writeIni(dir, ini);
        applySettingsFile(dir.path());
        QCOMPARE(GlobalVars::baseUrl.get(), expected.isEmpty() ? defaultBaseUrl : expected);
    }

    // Both stop signals reach the object's thread as a Qt signal, whichever thread took them,
    // and the process survives them while the object lives.
    void stopSignalsArriveOnTheObjectsThread()
    {
        TerminationSignals termination;
        QList<int> received;
        bool offThread = false;
        connect(&termination, &TerminationSignals::received, this, [&](int number) {
            received << number;
            offThread = offThread || QThread::currentThread() != thread();
        });
        std::thread([] { std::raise(SIGTERM); }).join();
        std::raise(SIGINT);
        QTRY_COMPARE(received, QList<int>({SIGTERM, SIGINT}));
        QVERIFY(!offThread);
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
