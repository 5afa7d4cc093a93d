#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>

// A one-shot relay from any thread to a slot of a window. Created on the calling thread and
// connected with Qt::AutoConnection, so an emit from a CTP callback thread becomes a queued,
// ordered call on the GUI thread, and an emit on the GUI thread runs the slot at once.
class SignalObject : public QObject
{
    Q_OBJECT

public:
    // Signatures in the string form of QObject::connect: SIGNAL(sendSignal(bool)) and
    // SLOT(setLoginState(bool)), i.e. "2sendSignal(bool)" and "1setLoginState(bool)".
    SignalObject(QObject *receiver, const char *signal, const char *slot);
    // The same with the main window as the receiver.
    SignalObject(const char *signal, const char *slot);
    ~SignalObject() override;

    // The main window, registered by the entry point once it exists (this layer only knows
    // the window by a forward declaration). The registration ends by itself when the window
    // is destroyed.
    static void setMainWindow(QObject *window);
    static QObject *mainWindow();

    // Null once the receiver is gone; a relay kept for reuse must be replaced then.
    QObject *receiverObject() const { return receiver.data(); }

    // Hands the relay to deferred deletion. A relay emitted on a library thread without an
    // event loop is moved to the application's thread first, or it would never be reclaimed.
    void dispose();

signals:
    void sendSignal();
    void sendSignal(bool);
    void sendSignal(QString);
    void sendSignal(bool, int);
    void sendSignal(bool, QString);
    void sendSignal(int, QString);
    void sendSignal(bool, int, QString);

private:
    QPointer<QObject> receiver;
    QByteArray slotSignature;
    QByteArray signalSignature;
    QMetaObject::Connection connection;
    std::atomic<bool> handedOver{false};
};
