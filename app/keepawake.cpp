#include "keepawake.h"

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#endif

#include <QtGlobal>

void keepSystemAwake()
{
#ifdef Q_OS_WIN
    SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED);
#else
    // Without a session bus address libdbus would try to launch a bus itself, which can
    // stall start-up; a desktop session always exports the address.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    // The inhibition lasts while our bus connection does, that is until the process ends.
    // Asked asynchronously: a desktop without the service must not delay start-up.
    QDBusMessage inhibit = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.ScreenSaver"),
        QStringLiteral("/org/freedesktop/ScreenSaver"),
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("Inhibit"));
    inhibit << QCoreApplication::applicationName() << QStringLiteral("trading session");
    bus.send(inhibit);
#endif
}
