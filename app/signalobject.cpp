#include "signalobject.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>

namespace {
std::atomic<QObject *> registeredMainWindow{nullptr};
}

SignalObject::SignalObject(QObject *receiver, const char *signal, const char *slot)
    : QObject(nullptr), receiver(receiver), slotSignature(slot), signalSignature(signal)
{
    if (receiver) {
        connection = connect(this, signalSignature.constData(), receiver, slotSignature.constData(),
                             Qt::AutoConnection);
    }
}

SignalObject::SignalObject(const char *signal, const char *slot)
    : SignalObject(registeredMainWindow.load(), signal, slot)
{
}

SignalObject::~SignalObject()
{
    // Pairs with dispose(): a relay made on a library thread is destroyed on the GUI thread
    // after a hand-over inside Qt, which ThreadSanitizer cannot see.
    handedOver.load(std::memory_order_acquire);
    // By the connection, not by the receiver: the receiver may be gone already, and Qt then
    // dropped the connection itself.
    disconnect(connection);
}

void SignalObject::setMainWindow(QObject *window)
{
    registeredMainWindow = window;
    if (window) {
        connect(window, &QObject::destroyed, [window] {
            QObject *expected = window;
            registeredMainWindow.compare_exchange_strong(expected, nullptr);
        });
    }
}

QObject *SignalObject::mainWindow()
{
    return registeredMainWindow.load();
}

void SignalObject::dispose()
{
    handedOver.store(true, std::memory_order_release);
    QCoreApplication *application = QCoreApplication::instance();
    if (application && thread() != application->thread()) {
        moveToThread(application->thread());
    }
    deleteLater();
}
