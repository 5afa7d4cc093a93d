#include "logo.h"

// Outside any namespace: the macro declares the resource's registration function.
static void registerResources()
{
    Q_INIT_RESOURCE(resources);
}

QIcon Logo::icon()
{
    registerResources();
    return QIcon(QString::fromLatin1(path));
}
