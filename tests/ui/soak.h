#pragma once

#include <QStringList>

// The trading week with kills: simulators started here, the client in a process of its own that
// is killed and started again, the exchange clock moved scene by scene. Exit code as main's.
int runWeek(const QStringList &arguments);

// The client side of the week (`--client --work DIR --platform-url URL --front-admin URL`): the
// program's windows in this process, logged in as a user would, on the front's exchange clock.
int runClient(const QStringList &arguments);

// The value after `name` in the arguments, or an empty string.
QString argumentAfter(const QStringList &arguments, const QString &name);
