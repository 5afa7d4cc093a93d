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
        connect(this, signalSignature.constData(), receiver, slotSignature.constData(),
                Qt::AutoConnection);
    }
}

SignalObject::SignalObject(const char *signal, const char *slot)
    : SignalObject(registeredMainWindow.load(), signal, slot)
{
}

SignalObject::~SignalObject()
{
    if (receiver) {
        disconnect(this, signalSignature.constData(), receiver, slotSignature.constData());
    }
}

void SignalObject::setMainWindow(QObject *window)
{
    registeredMainWindow = window;
}

QObject *SignalObject::mainWindow()
{
    return registeredMainWindow.load();
}

void SignalObject::dispose()
{
    QCoreApplication *application = QCoreApplication::instance();
    if (application && thread() != application->thread()) {
        moveToThread(application->thread());
    }
    deleteLater();
}
