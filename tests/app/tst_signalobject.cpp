#include "signalobject.h"

#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <thread>

class Window : public QObject
{
    Q_OBJECT

public:
    QStringList calls;
    QList<QThread *> threads;

public slots:
    void append(QString text) { record("append:" + text); }
    void setTablePosition() { record("position"); }
    void setTableAccount() { record("account"); }
    void appendMessageText(bool enable, int type, QString text)
    {
        record(QStringLiteral("message:%1:%2:%3").arg(enable).arg(type).arg(text));
    }

private:
    void record(const QString &call)
    {
        calls << call;
        threads << QThread::currentThread();
    }
};

class TestSignalObject : public QObject
{
    Q_OBJECT

private slots:
    void onTheGuiThreadTheSlotRunsAtOnce()
    {
        Window window;
        SignalObject relay(&window, SIGNAL(sendSignal(QString)), SLOT(append(QString)));
        emit relay.sendSignal(QStringLiteral("[提示信息] now"));
        QCOMPARE(window.calls, QStringList{QStringLiteral("append:[提示信息] now")});
    }

    void fromALibraryThreadCallsAreQueuedInOrder()
    {
        Window window;
        std::thread callbackThread([&window] {
            for (int i = 0; i < 50; ++i) {
                auto *position =
                    new SignalObject(&window, SIGNAL(sendSignal()), SLOT(setTablePosition()));
                emit position->sendSignal();
                position->dispose();
                auto *account =
                    new SignalObject(&window, SIGNAL(sendSignal()), SLOT(setTableAccount()));
                emit account->sendSignal();
                account->dispose();
            }
            auto *message = new SignalObject(&window, SIGNAL(sendSignal(bool, int, QString)),
                                             SLOT(appendMessageText(bool, int, QString)));
            emit message->sendSignal(true, 2, QString::fromUtf8("结算单"));
            message->dispose();
        });
        callbackThread.join();
        QVERIFY(window.calls.isEmpty()); // nothing ran on the library thread

        QTRY_COMPARE(window.calls.size(), 101);
        for (int i = 0; i < 50; ++i) {
            QCOMPARE(window.calls.at(2 * i), QStringLiteral("position"));
            QCOMPARE(window.calls.at(2 * i + 1), QStringLiteral("account"));
        }
        QCOMPARE(window.calls.last(), QString::fromUtf8("message:1:2:结算单"));
        for (QThread *thread : window.threads) {
            QCOMPARE(thread, QThread::currentThread());
        }
    }

    void relaysFromALibraryThreadAreReclaimed()
    {
        Window window;
        QPointer<SignalObject> relay;
        std::thread callbackThread([&] {
            relay = new SignalObject(&window, SIGNAL(sendSignal()), SLOT(setTableAccount()));
            emit relay->sendSignal();
            relay->dispose();
        });
        callbackThread.join();
        QTRY_VERIFY(relay.isNull());
        QCOMPARE(window.calls, QStringList{QStringLiteral("account")});
    }

    void theMainWindowIsTheDefaultReceiver()
    {
        Window window;
        SignalObject::setMainWindow(&window);
        {
            SignalObject relay(SIGNAL(sendSignal(QString)), SLOT(append(QString)));
            emit relay.sendSignal(QStringLiteral("hello"));
        }
        SignalObject::setMainWindow(nullptr);
        QCOMPARE(window.calls, QStringList{QStringLiteral("append:hello")});

        // Without a main window the relay goes nowhere and does no harm.
        SignalObject orphan(SIGNAL(sendSignal(QString)), SLOT(append(QString)));
        emit orphan.sendSignal(QStringLiteral("lost"));
    }

    // A relay kept for reuse may outlive its window; its end must not reach into the freed
    // window (AddressSanitizer reports it if it does).
    void aRelayOutlivesItsReceiver()
    {
        auto *window = new Window;
        SignalObject::setMainWindow(window);
        SignalObject relay(SIGNAL(sendSignal(QString)), SLOT(append(QString)));
        QCOMPARE(relay.receiverObject(), window);
        delete window;
        QCOMPARE(relay.receiverObject(), nullptr);
        QCOMPARE(SignalObject::mainWindow(), nullptr);
        emit relay.sendSignal(QStringLiteral("after"));
    }
};

QTEST_GUILESS_MAIN(TestSignalObject)
#include "tst_signalobject.moc"
