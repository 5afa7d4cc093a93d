// Programs built on the layers below the CTP gateway still link the session record, whose lock
// is defined with the service objects at the top of the graph. They get the lock alone here;
// a program that links the gateway must not link this.

#include "globalvars.h"

#include <QMutex>

QMutex *GlobalVars::flowMutex = new QMutex;
