#include "keepawake.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

// Stands in for the desktop's screensaver service on a private session bus.
class FakeScreenSaver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    QStringList inhibitions;

public slots:
    uint Inhibit(const QString &application, const QString &reason)
    {
        inhibitions << application + "|" + reason;
        return 7;
    }
};

class TestKeepAwake : public QObject
{
    Q_OBJECT

private slots:
    void withoutASessionBusNothingHappens()
    {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        keepSystemAwake(); // must return without error or attempt to launch a bus
    }

    void withASessionBusTheScreensaverIsInhibited()
    {
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        if (daemon.isEmpty()) {
            QSKIP("dbus-daemon is not installed");
        }
        QProcess bus;
        bus.start(daemon, {"--session", "--nofork", "--print-address"});
        QVERIFY(bus.waitForStarted());
        QVERIFY(bus.waitForReadyRead(10000));
        const QByteArray address = bus.readLine().trimmed();
        QVERIFY(!address.isEmpty());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);

        FakeScreenSaver screenSaver;
        QDBusConnection connection = QDBusConnection::sessionBus();
        QVERIFY(connection.isConnected());
        QVERIFY(connection.registerService("org.freedesktop.ScreenSaver"));
        QVERIFY(connection.registerObject("/org/freedesktop/ScreenSaver", &screenSaver,
                                          QDBusConnection::ExportAllSlots));

        keepSystemAwake();
        QTRY_COMPARE(screenSaver.inhibitions.size(), 1);
        QVERIFY(screenSaver.inhibitions.first().endsWith("|trading session"));

        QDBusConnection::disconnectFromBus(connection.name());
        bus.terminate();
        bus.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestKeepAwake)
#include "tst_keepawake.moc"
